#include "platform/qt/QtFileTrasher.h"

#include "platform/Paths.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

bool makeFolder(const std::string& path)
{
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Qt names the Trash from the home folder's data location and, when that folder is
// missing, falls back to the working directory; so the home Trash must exist first.
bool ensureHomeTrash(const std::string& trash)
{
    for (std::size_t at = 1; at <= trash.size(); ++at) {
        const std::size_t end = std::min(trash.find('/', at), trash.size());
        if (!makeFolder(trash.substr(0, end)))
            return false;
        at = end;
    }
    return makeFolder(trash + "/files") && makeFolder(trash + "/info");
}

std::string percentEncodedPath(const std::string& path)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string result;
    for (const unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += hex[c >> 4];
            result += hex[c & 15];
        }
    }
    return result;
}

// Qt refuses a symbolic link whose target is gone; such a link goes to the home Trash
// here, by the same rename and restore information, when it lives on the home volume.
bool trashDanglingLink(const std::string& path, const std::string& trash)
{
    struct stat item{}, trashFolder{};
    if (::lstat(path.c_str(), &item) != 0 || ::stat((trash + "/files").c_str(), &trashFolder) != 0 ||
        item.st_dev != trashFolder.st_dev)
        return false;

    const std::string name = Paths::lastComponent(path);
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string info = "[Trash Info]\nPath=" + percentEncodedPath(path) + "\nDeletionDate=" + stamp + "\n";

    for (int attempt = 1; attempt < 10000; ++attempt) {
        const std::string candidate = attempt == 1 ? name : name + "." + std::to_string(attempt);
        const std::string infoPath = trash + "/info/" + candidate + ".trashinfo";
        const std::string target = trash + "/files/" + candidate;
        // The info file claims the name; it is written before the move, as the desktop Trash convention asks.
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        struct stat existing{};
        const bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
        ::close(fd);
        if (!written || ::lstat(target.c_str(), &existing) == 0) {
            ::unlink(infoPath.c_str());
            if (!written)
                return false;
            continue;
        }
        if (::rename(path.c_str(), target.c_str()) == 0)
            return true;
        ::unlink(infoPath.c_str());
        return false;
    }
    return false;
}

bool needsEncoding(const std::string& path)
{
    return percentEncodedPath(path) != path;
}

// Qt writes the restore path as plain text, but readers of the Trash decode it as a URL
// path: a name holding "%" or a space would come back wrong. Encode it in place.
void encodeRestorePath(const std::string& placed, const std::string& original)
{
    const std::string filesFolder = Paths::deletingLastComponent(placed);
    const std::string infoPath = Paths::deletingLastComponent(filesFolder) + "/info/" + Paths::lastComponent(placed) +
                                 ".trashinfo";
    std::ifstream in(infoPath);
    if (!in)
        return;
    std::string text, line;
    bool changed = false;
    while (std::getline(in, line)) {
        if (line.rfind("Path=", 0) == 0) {
            const std::string value = line.substr(5);
            const bool plain = value == original ||
                               (original.size() > value.size() && original.compare(original.size() - value.size() - 1,
                                                                                   std::string::npos, "/" + value) == 0);
            if (plain && needsEncoding(value)) {
                line = "Path=" + percentEncodedPath(value);
                changed = true;
            }
        }
        text += line + "\n";
    }
    in.close();
    if (!changed)
        return;
    std::string temporary = Paths::deletingLastComponent(infoPath) + "/.restore-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), infoPath.c_str()) != 0)
        ::unlink(temporary.c_str());
}

std::string failureReason(const std::string& path, int error)
{
    struct stat item{};
    if (::lstat(path.c_str(), &item) != 0)
        return "The item no longer exists.";
    if (::access(Paths::deletingLastComponent(path).c_str(), W_OK) != 0 || error == EACCES || error == EPERM)
        return "You don't have permission to move this item to the Trash.";
    if (error == EXDEV)
        return "The item is on a volume without a Trash folder that can be used.";
    if (error == EROFS)
        return "The item is on a read-only volume.";
    if (error == EBUSY)
        return "The item is in use.";
    return "The item could not be moved to the Trash.";
}

} // namespace

std::optional<std::string> QtFileTrasher::moveToTrash(const std::string& path)
{
    const auto trash = trashFolder();
    if (!trash || !ensureHomeTrash(*trash))
        return "Your Trash folder could not be found or created.";

    struct stat item{};
    if (::lstat(path.c_str(), &item) != 0)
        return "The item no longer exists.";
    struct stat target{};
    if (S_ISLNK(item.st_mode) && ::stat(path.c_str(), &target) != 0)
        return trashDanglingLink(path, *trash) ? std::nullopt : std::optional(failureReason(path, errno));

    QString placed;
    errno = 0;
    const bool moved = QFile::moveToTrash(qt(path), &placed);
    const int error = errno;
    if (!moved)
        return failureReason(path, error);
    if (!placed.startsWith(u'/')) {
        // The item went somewhere relative instead of a Trash: put it back and refuse.
        ::rename(placed.toStdString().c_str(), path.c_str());
        return "The item could not be moved to the Trash.";
    }
    encodeRestorePath(placed.toStdString(), path);
    return std::nullopt;
}
