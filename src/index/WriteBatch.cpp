#include "index/WriteBatch.h"

#include "index/SQLiteConnection.h"

#include <cstring>
#include <sqlite3.h>

namespace {

constexpr std::string_view sumsKey = "file_row_sums_current";

} // namespace

WriteBatch::WriteBatch(SQLiteConnection& db, Clock clock) : db_(db), clock_(std::move(clock)), lastCommit_(now())
{
    // SQLite calls this for every row a statement of this connection writes; removing all
    // rows of a table at once bypasses it, which only clearing the whole cache does.
    sqlite3_update_hook(db_.handle(), &WriteBatch::noteRowChange, this);
}

WriteBatch::~WriteBatch() { sqlite3_update_hook(db_.handle(), nullptr, nullptr); }

void WriteBatch::noteRowChange(void* self, int operation, const char*, const char* table, sqlite3_int64)
{
    // A folder row that goes can leave file rows without their folder.
    if (std::strcmp(table, "files") == 0 || (operation == SQLITE_DELETE && std::strcmp(table, "folders") == 0))
        static_cast<WriteBatch*>(self)->fileRowsChanged_ = true;
}

bool WriteBatch::fileRowSumsCurrent()
{
    if (fileRowsChanged_) return false;
    bool current = false;
    db_.query("SELECT value FROM meta WHERE key = ?", {std::string(sumsKey)},
              [&](SQLiteConnection::Statement& row) { current = row.text(0) == "1"; });
    return current;
}

void WriteBatch::noteFileRowSumsTaken(bool storeMark)
{
    if (storeMark)
        db_.run("INSERT INTO meta(key, value) VALUES(?, '1') ON CONFLICT(key) DO UPDATE SET value = '1' "
                "WHERE value <> '1'",
                {std::string(sumsKey)});
    fileRowsChanged_ = false;
}

void WriteBatch::markFileRowSumsStale()
{
    db_.run("UPDATE meta SET value = '0' WHERE key = ? AND value <> '0'", {std::string(sumsKey)});
}

void WriteBatch::settleWritesOutsideBatch()
{
    if (open_ || !fileRowsChanged_) return;
    markFileRowSumsStale();
}

std::chrono::steady_clock::time_point WriteBatch::now() const
{
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

void WriteBatch::beginIfNeeded()
{
    if (open_) return;
    db_.execute("BEGIN IMMEDIATE;");
    open_ = true;
    lastCommit_ = now();
}

void WriteBatch::commitIfNeeded()
{
    if (!open_) return;
    if (pending_ > countLimit || now() - lastCommit_ > ageLimit) commit();
}

void WriteBatch::commit()
{
    if (!open_) return;
    if (fileRowsChanged_) markFileRowSumsStale();
    db_.execute("COMMIT;");
    rewritesCommitted_.store(rewrites_, std::memory_order_release);
    open_ = false;
    pending_ = 0;
    lastCommit_ = now();
}

bool WriteBatch::resynchronize()
{
    const bool wasOpen = open_;
    open_ = !db_.isAutocommit();
    if (open_ || !wasOpen) return false;
    pending_ = 0;
    ++lost_;
    return true;
}
