#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// The (device, inode) pairs of multiply linked files met in one scan, shared by
// all its workers, so that such a file's bytes count once.
class HardLinkTracker {
public:
    struct Key {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };

    // Notes one link of the file at `path`. Whichever order the workers meet the
    // links in, the link with the smallest path is the one that carries the
    // file's bytes, so that a rescan of an unchanged tree counts the same link.
    void record(std::uint64_t device, std::uint64_t inode, std::string_view path);
    // True when `path` is the smallest path recorded for the pair.
    bool carriesSize(std::uint64_t device, std::uint64_t inode, std::string_view path) const;

private:
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept
        {
            return std::hash<std::uint64_t>{}(key.device * 0x9E3779B97F4A7C15ull ^ key.inode);
        }
    };

    // Split by key, so that workers meeting different files rarely wait for each other.
    struct Shard {
        mutable std::mutex lock;
        std::unordered_map<Key, std::string, KeyHash> carriers;
    };
    static constexpr std::size_t shardCount = 16;   // the top four bits of a mixed hash
    Shard& shardOf(const Key& key) const { return shards_[(KeyHash{}(key) * 0x9E3779B97F4A7C15ull) >> 60]; }

    mutable std::array<Shard, shardCount> shards_;
};
