#include "analysis/VolumeService.h"

#include "platform/LinuxSystemPlaces.h"
#include "platform/Paths.h"
#include "platform/VolumePlatform.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace VolumeService {

namespace {

// The mount whose point holds the path most closely; a later line covers an earlier one.
const MountEntry* owningMount(const std::vector<MountEntry>& mounts, const std::string& path)
{
    const MountEntry* best = nullptr;
    for (const MountEntry& mount : mounts)
        if (Paths::isWithin(path, mount.mountPoint) && (!best || mount.mountPoint.size() >= best->mountPoint.size()))
            best = &mount;
    return best;
}

// Places the system keeps its own mounts (a container's files, a package's image, a
// boot partition); nothing there is a volume the user looks at. A system place that is
// a file system of its own, such as /var, is still listed.
bool isHiddenPlace(std::string_view mountPoint)
{
    static constexpr std::array<std::string_view, 6> hiddenTrees{"/proc", "/sys", "/dev", "/run", "/snap", "/boot"};
    if (Paths::isWithin(mountPoint, "/run/media"))
        return false;
    const auto inside = [&](std::string_view tree) { return Paths::isWithin(mountPoint, tree); };
    const auto strictlyInside = [&](std::string_view tree) { return mountPoint != tree && inside(tree); };
    const auto systemTrees = LinuxSystemPlaces::trees();
    return std::any_of(hiddenTrees.begin(), hiddenTrees.end(), inside) ||
           std::any_of(systemTrees.begin(), systemTrees.end(), strictlyInside);
}

// The mounts that show a volume, in the order their points were first mounted: the one
// visible at each point, without kernel and memory file systems, hidden places, and
// mounts that show again what an earlier listed one shows (the same device mounted
// twice, a bind mount). Subvolumes of one btrfs file system are each listed.
std::vector<const MountEntry*> volumeMounts(const std::vector<MountEntry>& mounts)
{
    std::vector<const MountEntry*> result;
    std::vector<std::string_view> points;
    for (const MountEntry& line : mounts) {
        if (std::find(points.begin(), points.end(), line.mountPoint) != points.end())
            continue;
        points.push_back(line.mountPoint);
        const MountEntry* mount = MountTable::visibleAt(mounts, line.mountPoint);
        if (MountTable::isPseudoFileSystem(mount->fileSystemType) || isHiddenPlace(mount->mountPoint))
            continue;
        if (std::any_of(result.begin(), result.end(),
                        [&](const MountEntry* earlier) { return MountTable::repeats(*mount, *earlier); }))
            continue;
        result.push_back(mount);
    }
    return result;
}

std::optional<VolumeInfo> infoFor(const std::string& path, const MountEntry* mount, const VolumePlatform& platform)
{
    const auto capacity = platform.capacity(path);
    if (!capacity || capacity->total <= 0)
        return std::nullopt;

    VolumeInfo info;
    info.path = path;
    // The capacity is the file system's size; blocks kept for the administrator are neither
    // in use nor available to this user.
    const std::int64_t available = std::clamp<std::int64_t>(capacity->available, 0, capacity->total);
    const std::int64_t free = std::clamp<std::int64_t>(capacity->free.value_or(available), available, capacity->total);
    info.totalCapacity = capacity->total;
    info.usedCapacity = capacity->total - free;
    // No separate figure for important use exists here: both are what df shows as available.
    info.availableStrict = available;
    info.availableForImportantUsage = info.availableStrict;
    info.isReadOnly = capacity->readOnly;

    std::optional<std::string> name;
    if (mount) {
        const bool isBlockDevice = mount->source.rfind("/dev/", 0) == 0;
        const BlockDeviceFacts device = isBlockDevice ? platform.blockDevice(mount->major, mount->minor) : BlockDeviceFacts{};
        info.isRootFileSystem = mount->mountPoint == "/";
        info.isReadOnly = info.isReadOnly || mount->readOnly;
        info.isLocal = !MountTable::isNetworkFileSystem(mount->fileSystemType);
        info.isRemovable = device.removable;
        info.isEjectable = device.removable || device.onUsb;
        info.isInternal = isBlockDevice && info.isLocal && !info.isEjectable;
        if (!mount->fileSystemType.empty())
            info.formatDescription = mount->fileSystemType;
        name = platform.label(mount->source);
        // An unlabelled root would read "/ /" beside its path.
        if (!name)
            name = mount->mountPoint == "/" ? std::string("File System") : Paths::lastComponent(mount->mountPoint);
    }
    info.name = name.value_or(Paths::lastComponent(path));
    return info;
}

// A volume of its own mounted directly in "/" (a second disk at /data, say): not part of
// the system's storage, so the scan takes it in only as an external volume.
bool isOtherTopLevelVolume(const std::vector<MountEntry>& mounts, const MountEntry& mount)
{
    const std::string& point = mount.mountPoint;
    if (point.size() < 2 || point.find('/', 1) != std::string::npos || LinuxSystemPlaces::isPlace(point))
        return false;
    const MountEntry* root = MountTable::visibleAt(mounts, "/");
    return !root || !MountTable::sameFileSystem(mount, *root);
}

} // namespace

std::optional<VolumeInfo> info(const std::string& path)
{
    return info(path, VolumePlatform::standard());
}

std::optional<VolumeInfo> info(const std::string& path, const VolumePlatform& platform)
{
    const auto mounts = platform.mounts();
    return infoFor(path, owningMount(mounts, Paths::standardizing(path)), platform);
}

std::vector<VolumeInfo> mountedVolumes()
{
    return mountedVolumes(VolumePlatform::standard());
}

std::vector<VolumeInfo> mountedVolumes(const VolumePlatform& platform)
{
    const auto mounts = platform.mounts();
    std::vector<VolumeInfo> volumes;
    for (const MountEntry* mount : volumeMounts(mounts))
        if (auto volume = infoFor(mount->mountPoint, mount, platform))
            volumes.push_back(std::move(*volume));
    return volumes;
}

std::vector<VolumeInfo> externalVolumes(bool includeNetwork)
{
    return externalVolumes(includeNetwork, VolumePlatform::standard());
}

std::vector<VolumeInfo> externalVolumes(bool includeNetwork, const VolumePlatform& platform)
{
    static constexpr std::array<std::string_view, 4> externalPlaces{"/Volumes/", "/media/", "/run/media/", "/mnt/"};
    const auto mounts = platform.mounts();
    std::vector<VolumeInfo> result;
    for (const MountEntry* mount : volumeMounts(mounts)) {
        // Decided from the mount table alone: asking a share that does not answer for its
        // capacity would wait as long as it stays silent.
        if (mount->mountPoint == "/" || (!includeNetwork && MountTable::mayNotAnswer(*mount)))
            continue;
        const bool inExternalPlace = std::any_of(externalPlaces.begin(), externalPlaces.end(), [&](std::string_view place) {
            return mount->mountPoint.rfind(place, 0) == 0;
        });
        if (!inExternalPlace && !isOtherTopLevelVolume(mounts, *mount))
            continue;
        auto volume = infoFor(mount->mountPoint, mount, platform);
        if (volume && !volume->isRootFileSystem && (includeNetwork || volume->isLocal))
            result.push_back(std::move(*volume));
    }
    return result;
}

} // namespace VolumeService
