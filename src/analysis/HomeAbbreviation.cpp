#include "analysis/HomeAbbreviation.h"

#include "platform/SystemPaths.h"

std::string abbreviatingHome(std::string_view path)
{
    return abbreviatingHome(path, SystemPaths::homeDirectory());
}

std::string abbreviatingHome(std::string_view path, std::string_view home)
{
    if (home.empty())
        return std::string(path);
    if (path == home)
        return "~";
    if (path.size() > home.size() && path.substr(0, home.size()) == home && path[home.size()] == '/')
        return "~" + std::string(path.substr(home.size()));
    return std::string(path);
}
