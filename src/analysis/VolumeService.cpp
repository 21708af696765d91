#include "analysis/VolumeService.h"

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

// Places the system keeps its own mounts; nothing there is a volume the user looks at.
bool isHiddenPlace(std::string_view mountPoint)
{
    static constexpr std::array<std::string_view, 6> hiddenTrees{"/proc", "/sys", "/dev", "/run", "/snap", "/boot"};
    if (Paths::isWithin(mountPoint, "/run/media"))
        return false;
    return std::any_of(hiddenTrees.begin(), hiddenTrees.end(),
                       [&](std::string_view tree) { return Paths::isWithin(mountPoint, tree); });
}

std::optional<VolumeInfo> infoFor(const std::string& path, const MountEntry* mount, const VolumePlatform& platform)
{
    const auto capacity = platform.capacity(path);
    if (!capacity || capacity->total <= 0)
        return std::nullopt;

    VolumeInfo info;
    info.path = path;
    info.totalCapacity = capacity->total;
    // No separate figure for important use exists here: both are what df shows as available.
    info.availableStrict = std::max<std::int64_t>(capacity->available, 0);
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
        if (!name && mount->mountPoint != "/")
            name = Paths::lastComponent(mount->mountPoint);
    }
    info.name = name.value_or(Paths::lastComponent(path));
    return info;
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
    std::vector<std::string> seen;
    for (const MountEntry& mount : mounts) {
        // A bind mount shows part of a file system that is listed on its own.
        if (mount.root != "/" || MountTable::isPseudoFileSystem(mount.fileSystemType) || isHiddenPlace(mount.mountPoint))
            continue;
        if (std::find(seen.begin(), seen.end(), mount.mountPoint) != seen.end())
            continue;
        seen.push_back(mount.mountPoint);
        // The mount last listed at a point is the one visible there.
        if (auto volume = infoFor(mount.mountPoint, owningMount(mounts, mount.mountPoint), platform))
            volumes.push_back(std::move(*volume));
    }
    return volumes;
}

std::vector<VolumeInfo> externalVolumes(bool includeNetwork)
{
    return externalVolumes(includeNetwork, VolumePlatform::standard());
}

std::vector<VolumeInfo> externalVolumes(bool includeNetwork, const VolumePlatform& platform)
{
    static constexpr std::array<std::string_view, 4> externalPlaces{"/Volumes/", "/media/", "/run/media/", "/mnt/"};
    std::vector<VolumeInfo> result;
    for (VolumeInfo& volume : mountedVolumes(platform)) {
        const bool inExternalPlace = std::any_of(externalPlaces.begin(), externalPlaces.end(), [&](std::string_view place) {
            return volume.path.rfind(place, 0) == 0;
        });
        if (!volume.isRootFileSystem && inExternalPlace && (includeNetwork || volume.isLocal))
            result.push_back(std::move(volume));
    }
    return result;
}

} // namespace VolumeService
