#include "platform/FileSystem.h"

#include "platform/DescriptorBudget.h"
#include "platform/FolderHandle.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace {

// Kernels or sandboxes without statx answer ENOSYS once; from then on plain fstatat is used.
std::atomic<bool> statxUnavailable{false};

double seconds(std::int64_t sec, std::uint32_t nsec)
{
    return static_cast<double>(sec) + static_cast<double>(nsec) / 1'000'000'000.0;
}

// `extraFlags` may add AT_EMPTY_PATH to describe `folder` itself.
int statAt(int folder, const char* name, FileStatus& status, int extraFlags = 0)
{
    if (!statxUnavailable.load(std::memory_order_relaxed)) {
        struct statx info {};
        const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
        const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_SYNC_AS_STAT | extraFlags;
        if (::statx(folder, name, flags, mask, &info) == 0) {
            status.mode = info.stx_mode;
            status.size = static_cast<std::int64_t>(info.stx_size);
            status.blocks = static_cast<std::int64_t>(info.stx_blocks);
            status.modified = seconds(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
            status.accessed = seconds(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
            status.created = (info.stx_mask & STATX_BTIME) ? seconds(info.stx_btime.tv_sec, info.stx_btime.tv_nsec) : 0;
            status.linkCount = info.stx_nlink;
            status.inode = info.stx_ino;
            status.device = makedev(info.stx_dev_major, info.stx_dev_minor);
            status.isImmutable = (info.stx_attributes_mask & STATX_ATTR_IMMUTABLE) &&
                                 (info.stx_attributes & STATX_ATTR_IMMUTABLE);
            status.isAppendOnly = (info.stx_attributes_mask & STATX_ATTR_APPEND) &&
                                  (info.stx_attributes & STATX_ATTR_APPEND);
            status.isMountRoot = std::nullopt;
            if (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
                status.isMountRoot = (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
            return 0;
        }
        if (errno != ENOSYS)
            return errno;
        statxUnavailable.store(true, std::memory_order_relaxed);
    }
    struct stat info {};
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW | extraFlags) != 0)
        return errno;
    status.mode = info.st_mode;
    status.size = info.st_size;
    status.blocks = info.st_blocks;
    status.modified = seconds(info.st_mtim.tv_sec, static_cast<std::uint32_t>(info.st_mtim.tv_nsec));
    status.accessed = seconds(info.st_atim.tv_sec, static_cast<std::uint32_t>(info.st_atim.tv_nsec));
    status.created = 0;
    status.linkCount = info.st_nlink;
    status.inode = info.st_ino;
    status.device = info.st_dev;
    status.isImmutable = false;
    status.isAppendOnly = false;
    status.isMountRoot = std::nullopt;
    return 0;
}

// Closes a descriptor on every way out: the visitor may throw.
class OwnedDescriptor {
public:
    explicit OwnedDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~OwnedDescriptor()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;

    int get() const { return descriptor_; }
    int release() { return std::exchange(descriptor_, -1); }

private:
    int descriptor_;
};

// Hands every entry but "." and ".." that can be stat'ed to `visit`. Reads the open folder's
// entries straight from the kernel, so the listing needs no descriptor of its own. Notes in
// `holdsFolders` whether a folder was among them.
ListingGaps list(int folder, const FileSystem::EntryVisitor& visit, bool& holdsFolders)
{
    alignas(dirent64) char buffer[32 * 1024];
    FileStatus status;
    ListingGaps gaps;
    for (;;) {
        const ssize_t filled = ::getdents64(folder, buffer, sizeof buffer);
        if (filled < 0)
            gaps.listingFailure = errno;
        if (filled <= 0)
            return gaps;
        for (ssize_t offset = 0; offset < filled;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            if (const int failure = statAt(folder, name, status); failure != 0) {
                // Removed meanwhile: left out. Anything else (a folder that can be listed but
                // not searched, a failing disk) hides an entry that is there.
                if (failure != ENOENT && gaps.unreadEntries++ == 0)
                    gaps.entryFailure = failure;
                continue;
            }
            holdsFolders = holdsFolders || S_ISDIR(status.mode);
            visit(std::string_view(name), status);
        }
    }
}

bool outOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

} // namespace

int FileSystem::readDirectory(const std::string& path, const EntryVisitor& visit) const
{
    const OwnedDescriptor folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return errno;
    bool holdsFolders = false;
    (void)list(folder.get(), visit, holdsFolders);
    return 0;
}

FolderRead FileSystem::readFolder(const FolderLocation& location, const EntryVisitor& visit) const
{
    FolderRead read;
    int descriptor = -1;
    std::string name;
    if (location.parent) {
        // Only the last component counts: the folder is opened inside its parent.
        name = location.path.substr(location.path.rfind('/') + 1);
        const FolderHandle::Use parent(*location.parent);
        if (parent.descriptor() < 0) {
            read.failure = parent.failure();
            return read;
        }
        descriptor = FolderHandle::openInside(parent.descriptor(), name.c_str(), location.parent->budget());
        if (descriptor < 0) {
            // A link or a file where a folder was listed: the folder is gone from there.
            read.failure = errno == ELOOP ? ENOTDIR : errno;
            if (FileStatus self; statAt(parent.descriptor(), name.c_str(), self) == 0)
                read.self = self;
            return read;
        }
    } else {
        descriptor = FolderHandle::openPath(location.path, location.followsLink);
        if (descriptor < 0 && outOfDescriptors(errno) && location.budget) {
            location.budget->shed();
            descriptor = FolderHandle::openPath(location.path, location.followsLink);
        }
        if (descriptor < 0) {
            read.failure = errno == ELOOP ? ENOTDIR : errno;
            if (FileStatus self; read.failure != ENAMETOOLONG && statAt(AT_FDCWD, location.path.c_str(), self) == 0)
                read.self = self;
            return read;
        }
    }
    OwnedDescriptor folder(descriptor);
    FileStatus self;
    if (const int failure = statAt(folder.get(), "", self, AT_EMPTY_PATH); failure != 0) {
        read.failure = failure;
        return read;
    }
    if (location.inode != 0 && (self.device != location.device || self.inode != location.inode)) {
        read.failure = ENOENT;   // another folder was moved into its place
        return read;
    }
    read.self = self;
    bool holdsFolders = false;
    read.gaps = list(folder.get(), visit, holdsFolders);
    // Most folders hold none: closed now, they cost the walk's budget nothing.
    if (!holdsFolders)
        return read;
    if (location.parent)
        read.handle = std::make_shared<FolderHandle>(location.parent, std::move(name), folder.release(), self.device,
                                                     self.inode);
    else
        read.handle = std::make_shared<FolderHandle>(location.path, location.followsLink, folder.release(),
                                                     self.device, self.inode, location.budget);
    return read;
}

int FileSystem::linkStatus(const std::string& path, FileStatus& status) const
{
    return statAt(AT_FDCWD, path.c_str(), status);
}

std::optional<std::string> FileSystem::realPath(const std::string& path) const
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return std::nullopt;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool FileSystem::canWrite(const std::string& path) const
{
    return ::access(path.c_str(), W_OK) == 0;
}

std::optional<bool> FileSystem::isOnReadOnlyVolume(const std::string& path) const
{
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0)
        return std::nullopt;
    return (info.f_flag & ST_RDONLY) != 0;
}

const FileSystem& FileSystem::standard()
{
    static const FileSystem instance;
    return instance;
}
