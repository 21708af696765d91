#pragma once

#include <string>
#include <string_view>

// "/home/alice/Movies" -> "~/Movies" for the current user's home folder; other paths unchanged.
std::string abbreviatingHome(std::string_view path);

// The same against a given home folder; exact, case-sensitive comparison.
std::string abbreviatingHome(std::string_view path, std::string_view home);
