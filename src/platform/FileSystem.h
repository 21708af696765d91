#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// What stat reports for one item; a final symbolic link is described as the link.
struct FileStatus {
    std::uint32_t mode = 0;        // st_mode, type bits included
    std::int64_t size = 0;
    std::int64_t blocks = 0;       // 512-byte units
    double modified = 0;           // seconds since 1970
    double created = 0;            // 0 when the file system keeps no birth time
    double accessed = 0;
    std::uint64_t linkCount = 0;
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    bool isImmutable = false;      // chattr +i
    bool isAppendOnly = false;     // chattr +a
    // The top folder of a mount; absent when the system does not say.
    std::optional<bool> isMountRoot;
};

class DescriptorBudget;
class FolderHandle;

// Where a folder is opened. Inside an open parent, by its own name and never through a
// link, and only while it is still the item the parent listed; without a parent, by path
// (a scan root, which may be reached through links).
struct FolderLocation {
    std::shared_ptr<const FolderHandle> parent;
    std::string path;          // as bytes on disk; with a parent only its last component is used
    bool followsLink = false;  // without a parent only: the last component may be a link
    std::uint64_t device = 0;  // as listed; an inode of 0 checks nothing
    std::uint64_t inode = 0;
    // Without a parent only: the budget of the walk this folder starts; the folders opened
    // inside it share their parent's.
    std::shared_ptr<DescriptorBudget> budget;
};

// What a listing could not see. An entry that went before it could be examined is not a
// gap: it is simply no longer there.
struct ListingGaps {
    std::uint64_t unreadEntries = 0;   // entries listed whose stat failed
    int entryFailure = 0;              // errno of the first of them
    int listingFailure = 0;            // errno that ended reading the entries early

    bool any() const { return unreadEntries > 0 || listingFailure != 0; }
};

// What opening and listing a folder gave.
struct FolderRead {
    // errno; ENOENT or ENOTDIR when another item took the folder's place.
    int failure = 0;
    std::optional<FileStatus> self{};               // the folder itself, when it could be examined
    std::shared_ptr<const FolderHandle> handle{};   // the open folder, for opening the folders it holds (absent if none)
    ListingGaps gaps{};
};

// The file-system calls of the scanner and the path-safety rules. The standard
// instance goes straight to the kernel; tests replace single calls to play a
// system that refuses or fails where a real one would need special privileges.
class FileSystem {
public:
    using EntryVisitor = std::function<void(std::string_view name, const FileStatus& status)>;

    virtual ~FileSystem() = default;

    // Lists a folder with one open and one stat per entry relative to the open
    // folder, handing every entry except "." and ".." that could be stat'ed to
    // `visit` in listing order. Returns 0, or the errno of the failed open.
    virtual int readDirectory(const std::string& path, const EntryVisitor& visit) const;

    // The same for a walk: opens the folder as `location` says, lists it as above and
    // keeps it open in the result's handle when it holds folders, with what the listing
    // could not see. Fails with EMFILE or ENFILE only when the system is out of descriptors
    // even after the walk's budget gave its idle ones back.
    virtual FolderRead readFolder(const FolderLocation& location, const EntryVisitor& visit) const;

    // lstat. Returns 0, or the errno of the failure.
    virtual int linkStatus(const std::string& path, FileStatus& status) const;

    // realpath; absent when it fails.
    virtual std::optional<std::string> realPath(const std::string& path) const;

    // access(W_OK).
    virtual bool canWrite(const std::string& path) const;

    // Absent when the volume's flags cannot be read.
    virtual std::optional<bool> isOnReadOnlyVolume(const std::string& path) const;

    static const FileSystem& standard();
};
