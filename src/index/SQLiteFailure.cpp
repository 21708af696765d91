#include "index/SQLiteFailure.h"

#include "index/SQLiteError.h"
#include "platform/MountPoint.h"

#include <map>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SQLiteFailure {
namespace {

struct DamageSeen {
    std::mutex lock;
    std::map<FileIdentity, std::string> descriptions;
    // The damaged files, held open for the rest of the run: the file system gives the identity
    // of a deleted file to a file made after it, and a new cache must not inherit old damage.
    std::vector<int> held;
};

// Never destroyed: a connection may close on another thread while the program ends.
DamageSeen& damageSeen()
{
    static DamageSeen* const seen = new DamageSeen;
    return *seen;
}

} // namespace

std::optional<std::string> lastingWriteFault(const std::exception& error, const std::string& cachePath)
{
    const auto* sqlite = dynamic_cast<const SQLiteError*>(&error);
    if (!sqlite)
        return std::nullopt;
    // Extended codes carry the primary one in their low byte.
    switch (sqlite->code() & 0xff) {
    case SQLITE_FULL:
        return "The disk that holds the scan cache (" + MountPoint::of(cachePath) +
               ") is full, so the scan could not save what it found. Free some space there and scan again.";
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
        return "The scan cache " + cachePath + " could not be written (" + sqlite->description() +
               "), so the scan could not save what it found.";
    default:
        return std::nullopt;
    }
}

std::optional<FileIdentity> identityOf(const std::string& path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity{.device = info.st_dev, .inode = info.st_ino};
}

bool wasDamaged(const FileIdentity& file)
{
    DamageSeen& seen = damageSeen();
    std::lock_guard guard(seen.lock);
    return seen.descriptions.count(file) > 0;
}

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

void noteDamage(const std::string& path, const std::string& description)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    const std::optional<FileIdentity> identity =
        file >= 0 && ::fstat(file, &info) == 0 ? FileIdentity{.device = info.st_dev, .inode = info.st_ino}
                                               : identityOf(path);
    DamageSeen& seen = damageSeen();
    std::lock_guard guard(seen.lock);
    if (identity && seen.descriptions.emplace(*identity, description).second && file >= 0)
        seen.held.push_back(file);
    else if (file >= 0)
        ::close(file);
}

std::optional<std::string> damageMet(const std::string& path)
{
    const auto identity = identityOf(path);
    if (!identity)
        return std::nullopt;
    DamageSeen& seen = damageSeen();
    std::lock_guard guard(seen.lock);
    if (const auto found = seen.descriptions.find(*identity); found != seen.descriptions.end())
        return found->second;
    return std::nullopt;
}

} // namespace SQLiteFailure
