#pragma once

#include <exception>
#include <string>

// The text a screen shows for a failure: what an exception says of itself, else one text
// for anything else thrown. Call it in a catch block, or with any stored exception.
std::string errorText(std::exception_ptr error = std::current_exception());
