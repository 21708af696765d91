#include "index/CacheMaintenance.h"

#include "index/FolderDigests.h"
#include "index/SQLiteConnection.h"
#include "index/WriteBatch.h"
#include "index/WriteTransaction.h"

#include <sys/stat.h>

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
        // VACUUM writes the whole new file into the log; the checkpoint moves it back
        // and empties the log, or the cache would take twice its old size.
        db.execute("VACUUM;");
        db.execute("PRAGMA wal_checkpoint(TRUNCATE);");
    } catch (const SQLiteError&) {
        // The tables are empty either way; SQLite reuses the free pages.
    }
}

} // namespace CacheMaintenance
