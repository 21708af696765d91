#include "index/ScanCacheOpener.h"

#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"
#include "index/SQLiteFailure.h"
#include "index/StorageDatabase.h"
#include "platform/Paths.h"
#include "platform/RegularFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ScanCacheOpener {
namespace {

std::string couldNotOpen(const std::string& description)
{
    return "The scan cache could not be opened: " + description + ". Scans will not be saved.";
}

// A failure that says the thing at the path is no cache, as opposed to one that says the
// cache cannot be reached now (locked, a full disk, no permission).
bool isUnreadable(const SQLiteError& error, const std::string& path)
{
    // Through a link, as SQLite reads it: a link to a cache elsewhere is judged by that cache.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return true;   // a folder, a dangling link or a device where the file belongs
    switch (error.code() & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return true;
    case SQLITE_IOERR:
        return error.code() == SQLITE_IOERR_SHORT_READ;
    default:
        return false;
    }
}

// SQLite opens the cache and its log companions itself, whatever they are: it would block on
// a FIFO (a "-journal" is opened for reading), and write into a device as into a file before
// removing it. Each must be a regular file or missing; the cache may be a link to one (kept
// elsewhere on purpose), whose companions then lie beside what it leads to.
std::optional<std::string> noFileOfItsOwn(const std::string& path)
{
    std::string real = path;
    struct stat info {};
    const bool there = ::lstat(path.c_str(), &info) == 0;
    if (there && S_ISLNK(info.st_mode)) {
        if (::stat(path.c_str(), &info) != 0)
            return "a link to nothing is at its place";
        if (!S_ISREG(info.st_mode))
            return "a link to " + RegularFile::kindName(info.st_mode) + " is at its place";
        const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
        if (target)
            real = target.get();
    } else if (there && !S_ISREG(info.st_mode)) {
        return RegularFile::kindName(info.st_mode) + " is at its place";
    }
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        if (::lstat((real + suffix).c_str(), &info) == 0 && !S_ISREG(info.st_mode))
            return Paths::lastComponent(real + suffix) + " beside it is " + RegularFile::kindName(info.st_mode);
    return std::nullopt;
}

// What lies at the cache's place and is plainly no cache, said before SQLite touches it or
// its log companions: anything but a regular file, or a file without the SQLite header.
std::optional<std::string> plainlyNoCache(const std::string& path)
{
    if (auto refused = noFileOfItsOwn(path))
        return refused;
    static constexpr char header[] = "SQLite format 3";   // with its terminating zero
    const auto start = RegularFile::readStart(path, sizeof header);
    if (!start || start->empty())
        return std::nullopt;   // missing or empty, else SQLite says why
    if (start->size() < sizeof header || std::memcmp(start->data(), header, sizeof header) != 0)
        return "it is not an SQLite database";
    return std::nullopt;
}

std::uint32_t bigEndian(const unsigned char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// A cache whose file is shorter than the pages its header counts lost its end (cut by a full
// disk, a failed copy or a failing disk); SQLite reads the missing pages as empty and says
// nothing. Told only when no log holds pages newer than the file's.
std::optional<std::string> cutShort(const std::string& path)
{
    struct stat info {}, log {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    if (::stat((path + "-wal").c_str(), &log) == 0 && log.st_size > 0)
        return std::nullopt;
    const auto start = RegularFile::readStart(path, 100);
    if (!start || start->size() < 100)
        return std::nullopt;   // too short for a header: SQLite says so itself
    const auto* header = reinterpret_cast<const unsigned char*>(start->data());
    const std::uint32_t pageSize = bigEndian(header + 16, 2) == 1 ? 65536 : bigEndian(header + 16, 2);
    const std::uint32_t pages = bigEndian(header + 28, 4);
    // The page count holds only when written by the same change as the change counter.
    if (pages == 0 || bigEndian(header + 24, 4) != bigEndian(header + 92, 4))
        return std::nullopt;
    const auto expected = static_cast<long long>(pages) * pageSize;
    if (info.st_size >= expected)
        return std::nullopt;
    return "it holds " + std::to_string(info.st_size) + " of the " + std::to_string(expected) +
           " bytes of its pages";
}

// A damaged page of a small cache, found by SQLite's quick check before it is used; a large
// one is judged by what its reads and writes meet, since the check reads every page.
std::optional<std::string> damagedPages(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0 ||
        info.st_size > quickCheckLimit)
        return std::nullopt;
    try {
        SQLiteConnection db(path);
        std::optional<std::string> verdict;
        db.query("PRAGMA quick_check(1)", {}, [&](SQLiteConnection::Statement& row) {
            if (!verdict)
                verdict = row.text(0);
        });
        if (verdict && *verdict != "ok")
            return "it is damaged: " + *verdict;
        return std::nullopt;
    } catch (const SQLiteError& error) {
        if (SQLiteFailure::isDamage(error.code()))
            return error.description();
        return std::nullopt;   // opening says what keeps it from being read
    }
}

// Why the cache at `path` cannot be written, when the file or its folder is closed to us;
// none when both are open (or the file is yet to be made). Behind a link, the file and
// folder are those it leads to, where SQLite keeps the log.
std::optional<std::string> whyNotWritable(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    if (::access(path.c_str(), W_OK) != 0)
        return std::string("the file: ") + std::strerror(errno);
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    const std::string folder = Paths::deletingLastComponent(real ? std::string(real.get()) : path);
    if (::access(folder.c_str(), W_OK) != 0)
        return "its folder " + folder + ": " + std::strerror(errno);
    return std::nullopt;
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Moves the cache and its log companions aside; false, with errno, when the cache could not be moved.
bool setAside(const std::string& path, const std::string& aside)
{
    // Companions without their cache are set aside all the same.
    if (std::rename(path.c_str(), aside.c_str()) != 0 && (errno != ENOENT || exists(path)))
        return false;
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const std::string companion = path + suffix;
        if (exists(companion))
            std::rename(companion.c_str(), (aside + suffix).c_str());
    }
    return true;
}

} // namespace

std::string asidePath(const std::string& path, std::time_t now)
{
    std::tm parts {};
    ::localtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &parts);
    const std::string base = path + ".unreadable-" + stamp;
    std::string candidate = base;
    for (int n = 2; exists(candidate) || exists(candidate + "-wal"); ++n)
        candidate = base + "-" + std::to_string(n);
    return candidate;
}

Opened open(const std::function<std::string()>& folder, std::time_t now)
{
    std::string path;
    try {
        path = Paths::appending(folder(), StorageDatabase::cacheFileName);
    } catch (const std::exception& error) {
        return {.database = nullptr, .problem = couldNotOpen(error.what())};
    }
    std::optional<std::string> unreadable = plainlyNoCache(path);
    for (const auto& damage : {&SQLiteFailure::damageMet, &cutShort, &damagedPages})
        if (!unreadable)
            unreadable = damage(path);
    if (const auto closed = whyNotWritable(path); closed && !unreadable) {
        // What it holds is still shown; only new scans have nowhere to go.
        try {
            auto database = std::make_shared<StorageDatabase>(path, SQLiteConnection::Access::readOnly);
            return {.database = std::move(database), .problem = "The scan cache " + path + " cannot be written (" + *closed +
                                             "). It shows the last scan it holds; new scans cannot be saved."};
        } catch (const std::exception& error) {
            return {.database = nullptr, .problem = couldNotOpen(path + ": " + error.what() + "; it cannot be written (" + *closed + ")")};
        }
    }
    if (!unreadable) {
        try {
            return {.database = std::make_shared<StorageDatabase>(path), .problem = std::nullopt};
        } catch (const SQLiteError& error) {
            if (!isUnreadable(error, path))
                return {.database = nullptr, .problem = couldNotOpen(path + ": " + error.description())};
            unreadable = error.description();
        } catch (const std::exception& error) {
            return {.database = nullptr, .problem = couldNotOpen(path + ": " + error.what())};
        }
    }
    const std::string aside = asidePath(path, now);
    if (!setAside(path, aside)) {
        const int code = errno;
        return {.database = nullptr, .problem = couldNotOpen(path + ": " + *unreadable + "; it could not be set aside (" +
                                      std::strerror(code) + ")")};
    }
    try {
        auto fresh = std::make_shared<StorageDatabase>(path);
        return {.database = std::move(fresh), .problem = "The scan cache " + path + " could not be read (" + *unreadable +
                                      "). It was set aside as " + Paths::lastComponent(aside) +
                                      " and a new, empty cache was started."};
    } catch (const std::exception& again) {
        return {.database = nullptr, .problem = couldNotOpen(path + ": " + again.what() + " (the unreadable cache was set aside as " +
                                      Paths::lastComponent(aside) + ")")};
    }
}

} // namespace ScanCacheOpener
