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
    std::string superOptions;    // the file system's options, e.g. "rw,subvolid=256,subvol=/home"

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

// Mounts that a call such as statvfs may wait on indefinitely: network file systems and
// file systems served by a user process (FUSE, except fuseblk over a local disk).
bool mayNotAnswer(const MountEntry& mount);

// A mount of a file system's own top: its root, or a btrfs subvolume mounted by name.
// Anything else shows a folder of a file system, as a bind mount does.
bool showsWholeFileSystem(const MountEntry& mount);

// True when `later` shows nothing that `earlier` does not: the same device, and either
// the same part of it or a mere folder of it (a bind mount). A second subvolume of the
// same btrfs file system is not a repeat.
bool repeats(const MountEntry& later, const MountEntry& earlier);

// Mounts of one file system: the same source and type, as btrfs subvolumes are.
bool sameFileSystem(const MountEntry& a, const MountEntry& b);

// The mount visible at exactly `mountPoint`: the last one listed there; null when none.
const MountEntry* visibleAt(const std::vector<MountEntry>& mounts, std::string_view mountPoint);

} // namespace MountTable
