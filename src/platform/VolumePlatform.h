#pragma once

#include "platform/MountTable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Capacity of the file system holding a path, in bytes, as statvfs reports it.
struct VolumeCapacity {
    std::int64_t total = 0;      // f_blocks * f_frsize
    std::int64_t available = 0;  // f_bavail * f_frsize: what an unprivileged user may still write
    bool readOnly = false;       // ST_RDONLY
    // f_bfree * f_frsize: also counts the blocks kept for the administrator; absent when unknown.
    std::optional<std::int64_t> free;
};

// What sysfs tells about the disk behind a block device number.
struct BlockDeviceFacts {
    bool removable = false;      // the disk's "removable" attribute
    bool onUsb = false;          // attached through a USB bus
};

// The volume facts of the running system. The roots are parameters so that tests
// can lay out fixture /proc, /sys and /dev trees.
class VolumePlatform {
public:
    explicit VolumePlatform(std::string mountinfoPath = "/proc/self/mountinfo", std::string sysRoot = "/sys",
                            std::string devParent = "");
    virtual ~VolumePlatform() = default;

    virtual std::vector<MountEntry> mounts() const;
    virtual std::optional<VolumeCapacity> capacity(const std::string& path) const;
    virtual BlockDeviceFacts blockDevice(unsigned major, unsigned minor) const;
    // The file-system label of a device such as /dev/sdb1; absent when it has none.
    virtual std::optional<std::string> label(const std::string& source) const;

    static const VolumePlatform& standard();

private:
    std::string mountinfoPath_;
    std::string sysRoot_;
    std::string devParent_;   // prefixed to /dev paths
};
