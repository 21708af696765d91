#include "scanning/HardLinkTracker.h"

void HardLinkTracker::record(std::uint64_t device, std::uint64_t inode, std::string_view path)
{
    const Key key{.device = device, .inode = inode};
    Shard& shard = shardOf(key);
    std::lock_guard guard(shard.lock);
    auto [slot, added] = shard.carriers.try_emplace(key, path);
    if (!added && path < slot->second)
        slot->second.assign(path);
}

bool HardLinkTracker::carriesSize(std::uint64_t device, std::uint64_t inode, std::string_view path) const
{
    const Key key{.device = device, .inode = inode};
    const Shard& shard = shardOf(key);
    std::lock_guard guard(shard.lock);
    const auto slot = shard.carriers.find(key);
    return slot != shard.carriers.end() && slot->second == path;
}
