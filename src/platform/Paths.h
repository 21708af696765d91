#pragma once

#include <string>
#include <string_view>

// Path-string rules shared by the whole engine. Paths are UTF-8, "/"-separated.
namespace Paths {

// Text after the last "/", trailing slashes ignored; "/" for the root, "" for "".
std::string lastComponent(std::string_view path);

// The path without its last component: "/a/b" -> "/a", "/a" -> "/", "a" -> "".
std::string deletingLastComponent(std::string_view path);

// Text after the last "." of the last component; "" when there is none, when the
// name ends with "." or when the only dot leads the name (".bashrc").
std::string extension(std::string_view path);

// Joins a folder and a name with exactly one "/".
std::string appending(std::string_view folder, std::string_view component);

// Expands a leading "~", drops empty and "." components, resolves ".." in
// absolute paths and drops a trailing slash; symbolic links are not followed.
std::string standardizing(std::string_view path);

// Lower-cases ASCII letters only, for the path rules that compare lower-cased text.
std::string asciiLowercased(std::string_view text);

// True when `path` is `root`, lies below it, or `root` is "/".
bool isWithin(std::string_view path, std::string_view root);

// Every byte but ASCII letters, digits, "/", "-", "_", "." and "~" as %XX: a path as URIs
// and the Trash's restore records carry it, exact for names that are no valid text.
std::string percentEncoded(std::string_view path);

} // namespace Paths
