#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

class FolderHandle;

// Bounds the descriptors that the open folders of one walk keep for the folders still to be
// read in them. Past its capacity, the folder least recently used that no thread is using
// at that moment is closed; its FolderHandle opens it again when it is needed. Shared by
// every handle of the walk, on any number of threads.
class DescriptorBudget {
public:
    explicit DescriptorBudget(std::size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}
    DescriptorBudget(const DescriptorBudget&) = delete;
    DescriptorBudget& operator=(const DescriptorBudget&) = delete;

    std::size_t capacity() const { return capacity_; }
    // Descriptors held by the walk's handles now, and the most held at once so far.
    std::size_t openCount() const;
    std::size_t peakOpenCount() const;

    // Closes every handle not in use, for when the system has run out of descriptors.
    void shed();

private:
    friend class FolderHandle;

    // Each assumes mutex_ is held.
    void addLocked(const FolderHandle& handle);
    void removeLocked(const FolderHandle& handle);
    void touchLocked(const FolderHandle& handle);
    // Closes handles not in use, oldest first, until at most `keep` are open; their
    // descriptors go to `closing`, to be closed once the lock is released. Every change that
    // opens one ends here, so the peak is taken after it.
    void evictLocked(std::size_t keep, std::vector<int>& closing);

    mutable std::mutex mutex_;
    const std::size_t capacity_;
    std::size_t open_ = 0;
    std::size_t peak_ = 0;
    // The open handles, least recently used first.
    const FolderHandle* oldest_ = nullptr;
    const FolderHandle* newest_ = nullptr;
};
