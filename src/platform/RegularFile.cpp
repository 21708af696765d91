#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

int openForReading(const std::string& path)
{
    // Looked at before opening, so that a device is never opened at all; O_NONBLOCK keeps a
    // FIFO swapped in meanwhile from blocking the open, and the check after it catches the swap.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0)
        return -1;
    if (!S_ISREG(before.st_mode)) {
        errno = S_ISDIR(before.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != before.st_dev ||
        opened.st_ino != before.st_ino) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

namespace {

// Up to `limit` bytes of the file at `path`; nothing when it cannot be opened or read, or,
// for a `whole` read, when it goes on past `limit`.
std::optional<std::string> readUpTo(const std::string& path, std::size_t limit, bool whole)
{
    const int fd = openForReading(path);
    if (fd < 0)
        return std::nullopt;
    // Known too long before a byte is read; files of /proc and /sys say 0 and are read.
    struct stat status {};
    if (whole && (::fstat(fd, &status) != 0 || static_cast<std::uint64_t>(status.st_size) > limit)) {
        ::close(fd);
        return std::nullopt;
    }
    std::optional<std::string> contents(std::in_place);
    char buffer[65536];
    for (;;) {
        const std::size_t wanted = whole ? sizeof buffer : std::min(sizeof buffer, limit - contents->size());
        const ssize_t got = wanted == 0 ? 0 : ::read(fd, buffer, wanted);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || (got > 0 && contents->size() + static_cast<std::size_t>(got) > limit)) {
            contents.reset();
            break;
        }
        if (got == 0)
            break;
        contents->append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return contents;
}

} // namespace

std::optional<std::string> read(const std::string& path, std::size_t limit)
{
    return readUpTo(path, limit, true);
}

std::optional<std::string> readStart(const std::string& path, std::size_t count)
{
    return readUpTo(path, count, false);
}

std::optional<std::string> refusal(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0)
        return S_ISREG(status.st_mode) ? std::nullopt : std::optional(kindName(status.st_mode));
    if (errno != ENOENT && errno != ELOOP)
        return std::nullopt;
    // A link whose target is missing: writing through it would make a file somewhere else.
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
        return std::string(errno == ELOOP ? "a loop of symbolic links" : "a symbolic link that leads nowhere");
    return std::nullopt;
}

std::string kindName(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return "a file";
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a FIFO";
    case S_IFCHR:
    case S_IFBLK: return "a device";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
    default: return "not a regular file";
    }
}

} // namespace RegularFile
