#include "scanning/HardLinkTracker.h"

void HardLinkTracker::record(std::uint64_t device, std::uint64_t inode, std::string_view path)
{
    std::lock_guard guard(lock_);
    auto [slot, added] = carriers_.try_emplace(Key{device, inode}, path);
    if (!added && path < slot->second)
        slot->second.assign(path);
}

bool HardLinkTracker::carriesSize(std::uint64_t device, std::uint64_t inode, std::string_view path) const
{
    std::lock_guard guard(lock_);
    const auto slot = carriers_.find(Key{device, inode});
    return slot != carriers_.end() && slot->second == path;
}
