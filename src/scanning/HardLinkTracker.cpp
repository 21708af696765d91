#include "scanning/HardLinkTracker.h"

bool HardLinkTracker::insert(std::uint64_t device, std::uint64_t inode)
{
    std::lock_guard guard(lock_);
    return seen_.insert(Key{device, inode}).second;
}
