#include "scanning/ScanConfiguration.h"

#include "index/CaseFolding.h"
#include "platform/FileSystem.h"
#include "platform/LinuxSystemPlaces.h"
#include "platform/MountTable.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/SecurityUtils.h"

#include <algorithm>
#include <optional>

namespace {

struct Root {
    std::string path;
    std::string folded;
};

bool sameItem(const FileSystem& fileSystem, const std::string& a, const std::string& b)
{
    FileStatus first, second;
    return fileSystem.linkStatus(a, first) == 0 && fileSystem.linkStatus(b, second) == 0 &&
           first.device == second.device && first.inode == second.inode;
}

// True when `inner` lies below `outer` on disk. Letter case is ignored in the
// text test; on a case-sensitive file system only the same folder counts.
bool covers(const FileSystem& fileSystem, const Root& outer, const Root& inner)
{
    if (outer.folded == "/")
        return true;
    if (inner.folded.size() <= outer.folded.size() || inner.folded.compare(0, outer.folded.size(), outer.folded) != 0 ||
        inner.folded[outer.folded.size()] != '/')
        return false;
    if (inner.path.compare(0, outer.path.size(), outer.path) == 0 && inner.path[outer.path.size()] == '/')
        return true;
    // The folded texts line up but the spellings differ; find the spelled-out ancestor
    // with as many components as `outer` and compare identities.
    size_t components = 0;
    for (const char c : outer.path)
        components += c == '/';
    size_t cut = 0;
    for (size_t seen = 0; cut < inner.path.size(); ++cut) {
        if (inner.path[cut] == '/' && ++seen > components)
            break;
    }
    return sameItem(fileSystem, outer.path, inner.path.substr(0, cut));
}

std::size_t components(const std::string& path)
{
    return path == "/" ? 0 : static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
}

// True when the walk from `outer` reaches `inner`: neither `inner` nor a folder between
// them lies on another device (a walk does not cross onto another volume). A volume
// mounted below a root is therefore a root of its own. What cannot be looked at counts as
// reached.
bool reachedWithoutCrossing(const FileSystem& fileSystem, const Root& outer, const Root& inner)
{
    FileStatus top;
    if (fileSystem.linkStatus(outer.path, top) != 0)
        return true;
    std::string folder = inner.path;
    for (std::size_t depth = components(folder); depth > components(outer.path); --depth) {
        FileStatus status;
        if (fileSystem.linkStatus(folder, status) == 0 && status.device != top.device)
            return false;
        folder.resize(std::max<std::size_t>(folder.rfind('/'), 1));
    }
    return true;
}

bool contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Whether the file system mounted at a folder of "/" is part of the system's own storage.
bool isPartOfSystem(const std::vector<MountEntry>& mounts, const MountEntry& mount)
{
    if (MountTable::isPseudoFileSystem(mount.fileSystemType) || MountTable::mayNotAnswer(mount))
        return false;
    // A bind mount shows what is scanned, or not, where it comes from.
    for (const MountEntry* earlier = mounts.data(); earlier != &mount; ++earlier)
        if (MountTable::repeats(mount, *earlier))
            return false;
    const MountEntry* root = MountTable::visibleAt(mounts, "/");
    return (root && MountTable::sameFileSystem(mount, *root)) || LinuxSystemPlaces::isPlace(mount.mountPoint);
}

} // namespace

std::vector<std::string> ScanConfiguration::normalizedRoots() const
{
    return normalizedRoots(FileSystem::standard());
}

std::vector<std::string> ScanConfiguration::normalizedRoots(const FileSystem& fileSystem) const
{
    std::vector<Root> resolved;
    for (const auto& root : roots) {
        std::optional<std::string> real = fileSystem.realPath(root);
        if (!real)
            continue;
        std::string path = SecurityUtils::droppingDataVolumePrefix(*real);
        bool duplicate = false;
        for (const auto& earlier : resolved)
            duplicate = duplicate || earlier.path == path;
        if (!duplicate)
            resolved.push_back({path, CaseFolding::lowercased(path)});
    }

    std::vector<std::string> result;
    for (size_t i = 0; i < resolved.size(); ++i) {
        const Root& candidate = resolved[i];
        bool dropped = false;
        for (size_t j = 0; j < resolved.size() && !dropped; ++j) {
            if (i == j)
                continue;
            const Root& other = resolved[j];
            if (other.folded == candidate.folded) {
                // The same folder under two spellings is kept once, as first listed.
                dropped = j < i && sameItem(fileSystem, other.path, candidate.path);
            } else {
                dropped = covers(fileSystem, other, candidate) && reachedWithoutCrossing(fileSystem, other, candidate);
            }
        }
        if (!dropped)
            result.push_back(candidate.path);
    }
    return result;
}

std::vector<std::string> ScanConfiguration::userRoots()
{
    std::vector<std::string> roots{"/Applications", SystemPaths::homesRoot(), "/Library", "/opt"};
    // The administrator's home (/root) and service accounts' homes lie outside the
    // folder of home folders; the user's own home is always scanned.
    const std::string home = SystemPaths::homeDirectory();
    if (!home.empty() && home != "/" && !Paths::isWithin(home, SystemPaths::homesRoot()))
        roots.insert(roots.begin() + 2, home);
    return roots;
}

std::vector<std::string> ScanConfiguration::systemRoots()
{
    const std::vector<MountEntry> mounts = MountTable::read();
    return systemRoots(mounts, LinuxSystemPlaces::topLevelFolders(mounts));
}

std::vector<std::string> ScanConfiguration::systemRoots(const std::vector<MountEntry>& mounts,
                                                        const std::vector<std::string>& topLevelFolders)
{
    std::vector<std::string> roots{"/System", "/usr", "/bin", "/sbin", "/private", "/cores"};
    const std::vector<std::string> user = userRoots();
    for (const std::string& name : topLevelFolders) {
        const std::string path = "/" + name;
        if (contains(roots, path) || contains(user, path))
            continue;
        if (const MountEntry* mount = MountTable::visibleAt(mounts, path); mount && !isPartOfSystem(mounts, *mount))
            continue;
        roots.push_back(path);
    }
    return roots;
}
