#pragma once

#include <cstdint>
#include <optional>
#include <string>

// One entry of a folder listing with the raw facts the index stores.
struct RawDirectoryEntry {
    enum class Kind { file, directory, symlink, other };

    std::string name;            // invalid UTF-8 sequences replaced by U+FFFD
    bool hasValidName = true;
    std::string diskName;        // the name's own bytes when they are not valid UTF-8, else empty
    Kind kind = Kind::other;
    std::int64_t size = 0;
    std::int64_t allocatedSize = 0;
    double modified = 0;
    double created = 0;          // 0 where the file system keeps no birth time
    double accessed = 0;
    std::uint64_t linkCount = 0;
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    std::optional<bool> isMountRoot;   // absent when the system does not say

    friend bool operator==(const RawDirectoryEntry&, const RawDirectoryEntry&) = default;
};
