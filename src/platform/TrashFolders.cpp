#include "platform/TrashFolders.h"

#include "platform/Paths.h"
#include "platform/SystemPaths.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace TrashFolders {

std::string home(const std::string& homeDirectory)
{
    return Paths::appending(SystemPaths::dataHome(homeDirectory), "Trash");
}

std::vector<std::string> onVolume(const std::string& mountPoint, uid_t uid)
{
    const std::string id = std::to_string(uid);
    return {Paths::appending(mountPoint, ".Trash/" + id), Paths::appending(mountPoint, ".Trash-" + id)};
}

std::vector<std::string> all(const std::string& homeDirectory, const std::vector<MountEntry>& mounts)
{
    std::vector<std::string> folders{home(homeDirectory)};
    for (const MountEntry& mount : mounts) {
        if (mount.mountPoint == "/" || MountTable::isPseudoFileSystem(mount.fileSystemType) || MountTable::mayNotAnswer(mount))
            continue;
        for (std::string& folder : onVolume(mount.mountPoint, ::getuid())) {
            struct stat status {};
            if (::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
                std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(std::move(folder));
        }
    }
    return folders;
}

bool isWithinVolumeTrash(const std::string& path, const std::vector<MountEntry>& mounts)
{
    for (const MountEntry& mount : mounts) {
        if (path == mount.mountPoint || !Paths::isWithin(path, mount.mountPoint))
            continue;
        const std::string_view below =
            std::string_view(path).substr(mount.mountPoint == "/" ? 1 : mount.mountPoint.size() + 1);
        const std::string_view top = below.substr(0, below.find('/'));
        if (top == ".Trash")
            return true;
        constexpr std::string_view own = ".Trash-";
        if (top.size() > own.size() && top.starts_with(own) &&
            std::all_of(top.begin() + own.size(), top.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

std::vector<std::string> all(const std::string& homeDirectory)
{
    return all(homeDirectory, MountTable::read());
}

} // namespace TrashFolders
