#include "platform/FolderHandle.h"

#include "platform/DescriptorBudget.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

bool outOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

// Closes the descriptors after the budget's lock is released.
void closeAll(const std::vector<int>& descriptors)
{
    for (const int descriptor : descriptors)
        ::close(descriptor);
}

} // namespace

FolderHandle::FolderHandle(std::string path, bool followsLink, int descriptor, std::uint64_t device,
                           std::uint64_t inode, std::shared_ptr<DescriptorBudget> budget)
    : name_(std::move(path)),
      followsLink_(followsLink),
      device_(device),
      inode_(inode),
      ownedBudget_(std::move(budget)),
      budget_(ownedBudget_.get()),
      descriptor_(descriptor)
{
    enroll();
}

FolderHandle::FolderHandle(std::shared_ptr<const FolderHandle> parent, std::string name, int descriptor,
                           std::uint64_t device, std::uint64_t inode)
    : parent_(std::move(parent)),
      name_(std::move(name)),
      device_(device),
      inode_(inode),
      budget_(parent_ ? parent_->budget_ : nullptr),
      descriptor_(descriptor)
{
    enroll();
}

std::optional<int> FolderHandle::stepsUpTo(std::uint64_t device, std::uint64_t inode) const
{
    int steps = 0;
    for (const FolderHandle* folder = this; folder; folder = folder->parent_.get(), ++steps)
        if (folder->inode_ == inode && folder->device_ == device)
            return steps;
    return std::nullopt;
}

void FolderHandle::enroll()
{
    if (!budget_)
        return;
    std::vector<int> closing;
    {
        std::lock_guard guard(budget_->mutex_);
        budget_->addLocked(*this);
        budget_->evictLocked(budget_->capacity_, closing);
    }
    closeAll(closing);
}

FolderHandle::~FolderHandle()
{
    if (budget_) {
        std::lock_guard guard(budget_->mutex_);
        if (descriptor_ >= 0)
            budget_->removeLocked(*this);
    }
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

FolderHandle::Use::Use(const FolderHandle& handle) : handle_(handle)
{
    const int result = handle.acquire();
    if (result >= 0)
        descriptor_ = result;
    else
        failure_ = -result;
}

FolderHandle::Use::~Use()
{
    if (descriptor_ >= 0)
        handle_.release();
}

int FolderHandle::acquire() const
{
    if (!budget_)
        return descriptor_ >= 0 ? descriptor_ : -EBADF;
    // The closed folders from this one up to the nearest open ancestor, and that ancestor.
    std::vector<const FolderHandle*> closed;
    const FolderHandle* base = nullptr;
    int baseDescriptor = AT_FDCWD;
    {
        std::lock_guard guard(budget_->mutex_);
        const FolderHandle* handle = this;
        while (handle && handle->descriptor_ < 0) {
            closed.push_back(handle);
            handle = handle->parent_.get();
        }
        if (handle) {
            ++handle->uses_;
            budget_->touchLocked(*handle);
            base = handle;
            baseDescriptor = handle->descriptor_;
        }
    }
    // Opened again from the top down; each one reopened is kept, so that its siblings and
    // children find it open.
    for (auto next = closed.rbegin(); next != closed.rend(); ++next) {
        const FolderHandle& handle = **next;
        const int opened = handle.reopen(baseDescriptor);
        std::vector<int> closing;
        {
            std::lock_guard guard(budget_->mutex_);
            if (base)
                --base->uses_;
            if (opened < 0) {
                budget_->evictLocked(budget_->capacity_, closing);
            } else {
                if (handle.descriptor_ >= 0) {
                    closing.push_back(opened);   // another thread was quicker
                } else {
                    handle.descriptor_ = opened;
                    budget_->addLocked(handle);
                }
                ++handle.uses_;
                budget_->touchLocked(handle);
                budget_->evictLocked(budget_->capacity_, closing);
                base = &handle;
                baseDescriptor = handle.descriptor_;
            }
        }
        closeAll(closing);
        if (opened < 0)
            return opened;
    }
    return baseDescriptor;
}

void FolderHandle::release() const
{
    if (!budget_)
        return;
    std::vector<int> closing;
    {
        std::lock_guard guard(budget_->mutex_);
        --uses_;
        if (budget_->open_ > budget_->capacity_)
            budget_->evictLocked(budget_->capacity_, closing);
    }
    closeAll(closing);
}

int FolderHandle::reopen(int parent) const
{
    const int descriptor = parent_ ? openInside(parent, name_.c_str(), budget_) : openPath(name_, followsLink_);
    if (descriptor < 0)
        return errno == ELOOP ? -ENOTDIR : -errno;
    struct stat self {};
    if (::fstat(descriptor, &self) != 0 || self.st_dev != device_ || self.st_ino != inode_) {
        ::close(descriptor);
        return -ENOENT;   // another folder took its place
    }
    return descriptor;
}

int FolderHandle::openPath(const std::string& path, bool followsLink)
{
    const int flags = folderFlags | (followsLink ? 0 : O_NOFOLLOW);
    const int descriptor = ::open(path.c_str(), flags);
    if (descriptor >= 0 || errno != ENAMETOOLONG || path.empty() || path.front() != '/')
        return descriptor;
    int folder = ::open("/", folderFlags);
    std::size_t start = 1;
    while (folder >= 0 && start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component.empty())
            continue;
        const bool last = start >= path.size();
        const int next = ::openat(folder, component.c_str(), folderFlags | (last && followsLink ? 0 : O_NOFOLLOW));
        const int error = errno;
        ::close(folder);
        folder = next;
        errno = error;
    }
    return folder;
}

int FolderHandle::openInside(int parent, const char* name, DescriptorBudget* budget)
{
    const int descriptor = ::openat(parent, name, folderFlags | O_NOFOLLOW);
    if (descriptor >= 0 || !budget || !outOfDescriptors(errno))
        return descriptor;
    budget->shed();
    return ::openat(parent, name, folderFlags | O_NOFOLLOW);
}
