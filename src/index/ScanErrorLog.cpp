#include "index/ScanErrorLog.h"

#include "index/SQLiteConnection.h"
#include "index/WriteBatch.h"

namespace ScanErrorLog {

void log(WriteBatch& batch, const std::string& path, const std::string& message, double now) noexcept
{
    try {
        batch.beginIfNeeded();
        auto& db = batch.connection();
        db.run("INSERT INTO errors(timestamp, path, message) VALUES(?, ?, ?)", {now, path, message});
        batch.count();
        if (db.lastInsertRowID() % pruneInterval == 0) {
            db.run("DELETE FROM errors WHERE id <= (SELECT MAX(id) FROM errors) - ?", {keptEntries});
        }
    } catch (...) {
        // Logging must never stop a scan; a lost entry is the price.
        batch.resynchronize();
    }
}

std::vector<ScanErrorEntry> recent(SQLiteConnection& db, std::int64_t limit)
{
    std::vector<ScanErrorEntry> entries;
    db.query("SELECT id, timestamp, path, message FROM errors ORDER BY id DESC LIMIT ?", {limit},
             [&](SQLiteConnection::Statement& row) {
                 entries.push_back(
                     {.id = row.integer(0), .date = row.real(1), .path = row.text(2), .message = row.text(3)});
             });
    return entries;
}

} // namespace ScanErrorLog
