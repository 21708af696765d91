#include "index/CacheMaintenance.h"

#include "index/FolderDigests.h"
#include "index/SQLiteConnection.h"
#include "index/WriteBatch.h"
#include "index/WriteTransaction.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace CacheMaintenance {

std::int64_t fileSize(const std::string& path) noexcept
{
    std::int64_t total = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat info {};
        if (::stat((path + suffix).c_str(), &info) == 0) total += static_cast<std::int64_t>(info.st_size);
    }
    return total;
}

namespace {

constexpr std::int64_t leastWorthCompacting = 1 << 20;
// A log starts over in place, and one of a few megabytes is soon filled again by the next scan.
constexpr std::int64_t leastWorthEmptying = 8 << 20;

} // namespace

std::optional<Room> room(SQLiteConnection& db)
{
    std::optional<Room> measured;
    try {
        db.query("SELECT (SELECT page_count * page_size FROM pragma_page_count(), pragma_page_size()), "
                 "(SELECT freelist_count * page_size FROM pragma_freelist_count(), pragma_page_size()) + "
                 "IFNULL((SELECT SUM(unused) FROM dbstat WHERE aggregate = TRUE), 0)",
                 {}, [&](SQLiteConnection::Statement& row) {
                     measured = Room{.fileBytes = row.integer(0), .emptyBytes = row.integer(1)};
                 });
    } catch (const SQLiteError&) {
        return std::nullopt;   // a library built without the page statistics
    }
    struct stat log {};
    if (measured && ::stat((db.fileName() + "-wal").c_str(), &log) == 0)
        measured->logBytes = static_cast<std::int64_t>(log.st_size);
    return measured;
}

bool isLoose(const Room& room)
{
    return room.emptyBytes >= leastWorthCompacting && room.emptyBytes * 5 > room.fileBytes;
}

bool logIsLarge(const Room& room) { return room.logBytes >= leastWorthEmptying && room.logBytes * 5 > room.fileBytes; }

bool diskHoldsCompaction(const std::string& path, std::int64_t fileBytes)
{
    struct statvfs disk {};
    if (::statvfs(path.c_str(), &disk) != 0)
        return false;
    return static_cast<double>(disk.f_bavail) * static_cast<double>(disk.f_frsize) >= 2.0 * static_cast<double>(fileBytes);
}

void emptyLog(SQLiteConnection& db) { db.execute("PRAGMA wal_checkpoint(TRUNCATE);"); }

void compact(SQLiteConnection& db)
{
    db.execute("VACUUM;");
    emptyLog(db);
}

void clear(WriteBatch& batch)
{
    auto& db = batch.connection();
    batch.noteRewrite();
    {
        WriteTransaction transaction(db);
        // Without the digests' triggers, a table is emptied at once instead of row by row.
        FolderDigests::stopTracking(db);
        db.execute("DELETE FROM files; DELETE FROM folders; DELETE FROM scans; DELETE FROM history; "
                   "DELETE FROM category_totals; DELETE FROM errors;");
        FolderDigests::resumeTracking(db, true);
        FolderDigests::markSums(db);
        transaction.commit();
    }
    // Emptying a table passes by the row hook.
    batch.startFileRowSumsFromEmpty();
    try {
        compact(db);
    } catch (const SQLiteError&) {
        // The tables are empty either way; SQLite reuses the free pages.
    }
}

} // namespace CacheMaintenance
