#include "platform/MountPoint.h"

#include "platform/Paths.h"

namespace MountPoint {

std::string of(const std::string& path, const std::vector<MountEntry>& mounts)
{
    std::string best = "/";
    for (const auto& mount : mounts)
        if (mount.mountPoint.size() > best.size() && Paths::isWithin(path, mount.mountPoint))
            best = mount.mountPoint;
    return best;
}

std::string of(const std::string& path) { return of(path, MountTable::read()); }

} // namespace MountPoint
