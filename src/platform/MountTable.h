#pragma once

#include <string>
#include <string_view>
#include <vector>

// One line of /proc/self/mountinfo.
struct MountEntry {
    std::string mountPoint;
    std::string root;            // the part of the file system mounted there; "/" unless a bind mount
    std::string source;          // e.g. /dev/sda2, server:/export
    std::string fileSystemType;  // with its subtype, e.g. ext4, fuse.sshfs
    unsigned major = 0;
    unsigned minor = 0;
    bool readOnly = false;       // the mount's own "ro" option

    friend bool operator==(const MountEntry&, const MountEntry&) = default;
};

namespace MountTable {

// Lines that do not have the mountinfo shape are skipped. Octal escapes (\040) are decoded.
std::vector<MountEntry> parse(std::string_view mountinfo);

// Reads and parses the file; empty when it cannot be read.
std::vector<MountEntry> read(const std::string& path = "/proc/self/mountinfo");

// Kernel and memory file systems that hold no user data of a disk.
bool isPseudoFileSystem(std::string_view type);

// File systems whose data lives on another machine.
bool isNetworkFileSystem(std::string_view type);

} // namespace MountTable
