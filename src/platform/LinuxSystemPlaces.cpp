#include "platform/LinuxSystemPlaces.h"

#include "platform/Paths.h"

#include <algorithm>
#include <array>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace LinuxSystemPlaces {

namespace {

constexpr std::array<std::string_view, 16> systemTrees = {
    "/usr", "/bin", "/sbin", "/var", "/etc", "/tmp", "/dev", "/boot", "/lib", "/lib32", "/lib64", "/libx32",
    "/proc", "/sys", "/run", "/snap",
};

constexpr std::array<std::string_view, 4> systemFolders = {"/home", "/media", "/mnt", "/srv"};

} // namespace

std::span<const std::string_view> trees()
{
    return systemTrees;
}

std::span<const std::string_view> folders()
{
    return systemFolders;
}

bool isPlace(std::string_view path)
{
    return std::find(systemTrees.begin(), systemTrees.end(), path) != systemTrees.end() ||
           std::find(systemFolders.begin(), systemFolders.end(), path) != systemFolders.end();
}

std::vector<std::string> topLevelFolders(const std::vector<MountEntry>& mounts, const std::string& root)
{
    struct CloseFolder {
        void operator()(DIR* folder) const { ::closedir(folder); }
    };
    std::unique_ptr<DIR, CloseFolder> folder(::opendir(root.c_str()));
    std::vector<std::string> names;
    if (!folder)
        return names;
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            const std::string path = Paths::appending(root, name);
            struct stat status {};
            isFolder = MountTable::visibleAt(mounts, path) != nullptr ||
                       (::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode));
        }
        if (isFolder)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace LinuxSystemPlaces
