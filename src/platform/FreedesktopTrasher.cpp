#include "platform/FreedesktopTrasher.h"

#include "platform/MountTable.h"
#include "platform/Paths.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* vanishedReason = "The item no longer exists.";
constexpr const char* noTrashReason = "Your Trash folder could not be found or created.";
constexpr const char* bindMountReason =
    "The item's folder is mounted on its own (a bind mount), so the item cannot be moved out of it to the Trash.";
constexpr const char* recordReason =
    "The item's restore information could not be written to the Trash (the disk may be full), so the item was "
    "left where it is.";

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_;
};

constexpr int folderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens the folder at the absolute `path` one component at a time, following no link on
// the way. Sets errno to ELOOP when a component is a link or no folder.
Descriptor openFolderChain(const std::string& path)
{
    Descriptor folder(::open("/", folderFlags));
    std::size_t start = 1;
    while (folder.isOpen() && start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component.empty())
            continue;
        Descriptor next(::openat(folder.get(), component.c_str(), folderFlags));
        if (!next.isOpen()) {
            int error = errno;
            struct stat status {};
            // Something other than a folder stands where the folder was.
            if (error == ENOTDIR && ::fstatat(folder.get(), component.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
                error = ELOOP;
            errno = error;
            return next;
        }
        folder = std::move(next);
    }
    return folder;
}

bool makeFolder(const std::string& path)
{
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Each folder of `path` in turn, as the Trash may be the first thing in a new data folder.
bool makeFolders(const std::string& path)
{
    for (std::size_t at = 1; at <= path.size(); ++at) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (!makeFolder(path.substr(0, end)))
            return false;
        at = end;
    }
    return true;
}

// A Trash folder with its files/ and info/ opened, and the base its records are relative to.
struct TrashPlace {
    Descriptor files;
    Descriptor info;
    std::string restoreBase;   // "" for absolute restore paths
};

std::optional<TrashPlace> openTrash(const std::string& trash, std::string restoreBase)
{
    if (!makeFolder(trash + "/files") || !makeFolder(trash + "/info"))
        return std::nullopt;
    TrashPlace place{Descriptor(::open((trash + "/files").c_str(), folderFlags)),
                     Descriptor(::open((trash + "/info").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)),
                     std::move(restoreBase)};
    if (!place.files.isOpen() || !place.info.isOpen())
        return std::nullopt;
    return place;
}

// A folder of the user's own, made when missing, never reached through a link.
bool isOwnFolder(const std::string& path)
{
    if (!makeFolder(path))
        return false;
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::getuid();
}

// The Trash at the top of the volume mounted at `top`: inside an administrator's sticky
// ".Trash" when there is one, else ".Trash-<uid>". When the user's own Trash is there but
// cannot be used, `unusable` gets the error met, so that the refusal says so.
std::optional<TrashPlace> volumeTrash(const std::string& top, dev_t device, int& unusable)
{
    const std::string uid = std::to_string(::getuid());
    const std::string shared = Paths::appending(top, ".Trash");
    struct stat status {};
    if (::lstat(shared.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX) &&
        status.st_dev == device) {
        const std::string own = shared + "/" + uid;
        if (isOwnFolder(own))
            if (auto place = openTrash(own, top))
                return place;
    }
    const std::string own = Paths::appending(top, ".Trash-" + uid);
    if (isOwnFolder(own) && ::lstat(own.c_str(), &status) == 0 && status.st_dev == device) {
        auto place = openTrash(own, top);
        if (!place)
            unusable = errno;
        return place;
    }
    return std::nullopt;
}

// The mount point of the volume holding `path`, whose device is `device`.
std::optional<std::string> volumeTop(const std::string& path, dev_t device)
{
    std::optional<std::string> best;
    for (const MountEntry& mount : MountTable::read()) {
        // A mount point itself cannot be renamed away; it has no volume top above it here.
        if (path == mount.mountPoint || !Paths::isWithin(path, mount.mountPoint) ||
            (best && best->size() >= mount.mountPoint.size()))
            continue;
        struct stat status {};
        if (::stat(mount.mountPoint.c_str(), &status) == 0 && status.st_dev == device)
            best = mount.mountPoint;
    }
    return best;
}

std::string restorePath(const std::string& path, const std::string& base)
{
    if (base.empty())
        return path;
    if (base == "/")
        return path.substr(1);
    return path.substr(base.size() + 1);
}

std::string deletionDate()
{
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    return stamp;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Cuts a name to at most `limit` bytes without splitting a UTF-8 sequence.
std::string shortened(const std::string& name, std::size_t limit)
{
    if (name.size() <= limit)
        return name;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

// Why the Trash itself could not take the item, by the error met making or writing in it.
std::string trashFailure(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EIO:
        return recordReason;
    case EACCES:
    case EPERM:
        return "The Trash folder cannot be written to (no permission), so the item was left where it is.";
    case EROFS:
        return "The Trash folder is on a read-only volume, so the item was left where it is.";
    default:
        return "The item's restore information could not be written to the Trash (" +
               std::generic_category().message(error) + "), so the item was left where it is.";
    }
}

// Whether what stands at the item's place is the item that was meant.
bool isExpected(const struct stat& item, const FileTrasher::Expected& expected)
{
    using Kind = FileTrasher::Expected::Kind;
    const Kind kind = S_ISDIR(item.st_mode) ? Kind::folder : S_ISLNK(item.st_mode) ? Kind::symbolicLink : Kind::file;
    if (expected.kind != Kind::any && expected.kind != kind)
        return false;
    return (!expected.inode || *expected.inode == static_cast<std::uint64_t>(item.st_ino)) &&
           (!expected.device || *expected.device == static_cast<std::uint64_t>(item.st_dev));
}

// The device the home Trash is on, or would be made on: that of its nearest existing folder.
std::optional<dev_t> deviceOf(std::string path)
{
    for (;;) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0)
            return status.st_dev;
        if (path == "/" || path.empty())
            return std::nullopt;
        path = Paths::deletingLastComponent(path);
    }
}

std::string moveFailure(int error)
{
    switch (error) {
    case ENOENT:
        return vanishedReason;
    case EACCES:
    case EPERM:
        return "You don't have permission to move this item to the Trash.";
    case EXDEV:
        return "The item is on a volume without a Trash folder that can be used.";
    case EROFS:
        return "The item is on a read-only volume.";
    case EBUSY:
        return "The item is in use.";
    default:
        return "The item could not be moved to the Trash.";
    }
}

} // namespace

std::string FreedesktopTrasher::encodedRestorePath(const std::string& path)
{
    return Paths::percentEncoded(path);
}

std::optional<std::string> FreedesktopTrasher::moveToTrash(const std::string& given, const Expected& expected)
{
    const std::string path = Paths::standardizing(given);
    if (path.empty() || path.front() != '/' || path == "/")
        return "The item could not be moved to the Trash.";
    const std::string name = Paths::lastComponent(path);

    const Descriptor parent = openFolderChain(Paths::deletingLastComponent(path));
    if (!parent.isOpen()) {
        if (errno == ELOOP)
            return locationChangedReason;
        return moveFailure(errno);
    }
    struct stat item {};
    if (::fstatat(parent.get(), name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0)
        return moveFailure(errno);
    if (!isExpected(item, expected))
        return replacedReason;

    // The volume decides which Trash: the home Trash only for items on its own volume, so that
    // a home Trash that cannot be made stops no item elsewhere.
    const auto home = trashFolder();
    std::optional<TrashPlace> place;
    if (home && deviceOf(*home) == item.st_dev) {
        if (!makeFolders(*home) || !(place = openTrash(*home, "")))
            return errno == ENOENT || errno == ENOTDIR ? noTrashReason : trashFailure(errno);
        struct stat homeFiles {};
        if (::fstat(place->files.get(), &homeFiles) != 0)
            return noTrashReason;
        // The home Trash is a mount of its own after all: the item's volume has its own Trash.
        if (homeFiles.st_dev != item.st_dev)
            place.reset();
    }
    if (!place) {
        const auto top = volumeTop(path, item.st_dev);
        int unusable = 0;
        place = top ? volumeTrash(*top, item.st_dev, unusable) : std::nullopt;
        if (!place && unusable)
            return unusable == ENOENT || unusable == ENOTDIR ? noTrashReason : trashFailure(unusable);
        if (!place)
            return !home && !top ? std::string(noTrashReason) : moveFailure(EXDEV);
    }

    const std::string record =
        "[Trash Info]\nPath=" + encodedRestorePath(restorePath(path, place->restoreBase)) +
        "\nDeletionDate=" + deletionDate() + "\n";
    static constexpr std::string_view suffix = ".trashinfo";
    // Room for the suffix and a counter within one name's limit.
    const std::string base = shortened(name, NAME_MAX - suffix.size() - 6);
    for (int attempt = 1; attempt < 10000; ++attempt) {
        const std::string candidate = attempt == 1 ? base : base + "." + std::to_string(attempt);
        const std::string infoName = candidate + std::string(suffix);
        // Creating the record claims the name; only a complete, synced record lets the item move.
        const int fd = ::openat(place->info.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return trashFailure(errno);
        }
        const bool written = writeAll(fd, record) && ::fsync(fd) == 0;
        const int writeError = errno;
        const bool closed = ::close(fd) == 0;
        const auto forget = [&] { ::unlinkat(place->info.get(), infoName.c_str(), 0); };
        if (!written || !closed) {
            forget();
            return trashFailure(written ? errno : writeError);
        }
        int moved = ::renameat2(parent.get(), name.c_str(), place->files.get(), candidate.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && errno == EINVAL) {
            // A file system without the no-replace flag: the name was free a moment ago.
            struct stat taken {};
            if (::fstatat(place->files.get(), candidate.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
                errno = EEXIST;
            else
                moved = ::renameat(parent.get(), name.c_str(), place->files.get(), candidate.c_str());
        }
        if (moved == 0)
            return std::nullopt;
        const int error = errno;
        forget();
        if (error == EEXIST)
            continue;
        // One volume, yet no rename: the item's folder is a mount of its own.
        if (error == EXDEV)
            return bindMountReason;
        return moveFailure(error);
    }
    return "The item could not be moved to the Trash.";
}
