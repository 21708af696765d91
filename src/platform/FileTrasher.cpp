#include "platform/FileTrasher.h"

#include "platform/Paths.h"
#include "platform/SystemPaths.h"

std::optional<std::string> FileTrasher::trashFolder() const
{
    const std::string data = SystemPaths::applicationSupportDirectory();
    if (data.empty() || data.front() != '/')
        return std::nullopt;
    return Paths::appending(data, "Trash");
}
