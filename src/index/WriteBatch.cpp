#include "index/WriteBatch.h"

#include "index/SQLiteConnection.h"

#include <cstring>
#include <sqlite3.h>

WriteBatch::WriteBatch(SQLiteConnection& db, Clock clock) : db_(db), clock_(std::move(clock)), lastCommit_(now())
{
    // SQLite calls this for every row a statement of this connection writes. Emptying a whole
    // table bypasses it, which only clearing the cache or an old layout does, and those
    // empty the category totals with the file rows.
    sqlite3_update_hook(db_.handle(), &WriteBatch::noteRowChange, this);
}

WriteBatch::~WriteBatch() { sqlite3_update_hook(db_.handle(), nullptr, nullptr); }

void WriteBatch::noteRowChange(void* self, int operation, const char*, const char* table, sqlite3_int64)
{
    // A folder row that goes can leave file rows without their folder.
    if (std::strcmp(table, "files") == 0 || (operation == SQLITE_DELETE && std::strcmp(table, "folders") == 0))
        static_cast<WriteBatch*>(self)->fileRowsChanged_ = true;
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
