#include "platform/DescriptorBudget.h"

#include "platform/FolderHandle.h"

#include <algorithm>
#include <unistd.h>

std::size_t DescriptorBudget::openCount() const
{
    std::lock_guard guard(mutex_);
    return open_;
}

std::size_t DescriptorBudget::peakOpenCount() const
{
    std::lock_guard guard(mutex_);
    return peak_;
}

void DescriptorBudget::shed()
{
    std::vector<int> closing;
    {
        std::lock_guard guard(mutex_);
        evictLocked(0, closing);
    }
    for (const int descriptor : closing)
        ::close(descriptor);
}

void DescriptorBudget::addLocked(const FolderHandle& handle)
{
    handle.older_ = newest_;
    handle.newer_ = nullptr;
    if (newest_)
        newest_->newer_ = &handle;
    else
        oldest_ = &handle;
    newest_ = &handle;
    ++open_;
}

void DescriptorBudget::removeLocked(const FolderHandle& handle)
{
    if (handle.older_)
        handle.older_->newer_ = handle.newer_;
    else
        oldest_ = handle.newer_;
    if (handle.newer_)
        handle.newer_->older_ = handle.older_;
    else
        newest_ = handle.older_;
    handle.older_ = handle.newer_ = nullptr;
    --open_;
}

void DescriptorBudget::touchLocked(const FolderHandle& handle)
{
    if (newest_ == &handle)
        return;
    removeLocked(handle);
    addLocked(handle);
}

void DescriptorBudget::evictLocked(std::size_t keep, std::vector<int>& closing)
{
    const FolderHandle* handle = oldest_;
    while (open_ > keep && handle) {
        const FolderHandle* newer = handle->newer_;
        if (handle->uses_ == 0) {
            closing.push_back(handle->descriptor_);
            handle->descriptor_ = -1;
            removeLocked(*handle);
        }
        handle = newer;
    }
    peak_ = std::max(peak_, open_);
}
