#include "platform/FileTrasher.h"

#include "platform/SystemPaths.h"
#include "platform/TrashFolders.h"

std::optional<std::string> FileTrasher::trashFolder() const
{
    const std::string trash = TrashFolders::home(SystemPaths::homeDirectory());
    if (trash.empty() || trash.front() != '/')
        return std::nullopt;
    return trash;
}
