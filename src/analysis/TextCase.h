#pragma once

#include <string>
#include <string_view>

namespace TextCase {

// Upper case by the root locale's full rules, so "jpé" gives "JPÉ" and "ß" gives "SS".
std::string uppercased(std::string_view text);

} // namespace TextCase
