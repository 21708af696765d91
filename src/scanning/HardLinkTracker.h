#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_set>

// The (device, inode) pairs of multiply linked files already counted in one
// scan, shared by all its workers, so that such a file's bytes count once.
class HardLinkTracker {
public:
    struct Key {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };

    // True on the first sighting of the pair.
    bool insert(std::uint64_t device, std::uint64_t inode);

private:
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept
        {
            return std::hash<std::uint64_t>{}(key.device * 0x9E3779B97F4A7C15ull ^ key.inode);
        }
    };

    std::mutex lock_;
    std::unordered_set<Key, KeyHash> seen_;
};
