#include "platform/Paths.h"

#include "platform/SystemPaths.h"

#include <vector>

namespace Paths {

namespace {

std::string_view trimmingTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

// lastComponent without a copy: every file of a scan comes through extension().
std::string_view lastComponentView(std::string_view path)
{
    path = trimmingTrailingSlashes(path);
    if (path == "/")
        return path;
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string lastComponent(std::string_view path) { return std::string(lastComponentView(path)); }

std::string deletingLastComponent(std::string_view path)
{
    path = trimmingTrailingSlashes(path);
    if (path == "/")
        return "/";
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return "";
    if (slash == 0)
        return "/";
    return std::string(trimmingTrailingSlashes(path.substr(0, slash)));
}

std::string extension(std::string_view path)
{
    const std::string_view name = lastComponentView(path);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size())
        return "";
    return std::string(name.substr(dot + 1));
}

std::string appending(std::string_view folder, std::string_view component)
{
    std::string result(folder);
    while (!component.empty() && component.front() == '/')
        component.remove_prefix(1);
    if (result.empty())
        return std::string(component);
    if (result.back() != '/')
        result += '/';
    result += component;
    return result;
}

std::string standardizing(std::string_view input)
{
    std::string path(input);
    if (!path.empty() && path[0] == '~' && (path.size() == 1 || path[1] == '/'))
        path = SystemPaths::homeDirectory() + path.substr(1);
    if (path.empty())
        return path;

    const bool absolute = path[0] == '/';
    std::vector<std::string_view> parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == ".." && absolute) {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string result = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            result += '/';
        result += parts[i];
    }
    return result.empty() ? std::string(".") : result;
}

std::string asciiLowercased(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

bool isWithin(std::string_view path, std::string_view root)
{
    if (root == "/" || path == root)
        return true;
    return path.size() > root.size() && path.substr(0, root.size()) == root && path[root.size()] == '/';
}

std::string percentEncoded(std::string_view path)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string result;
    for (const unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                           c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += hex[c >> 4];
            result += hex[c & 15];
        }
    }
    return result;
}

} // namespace Paths
