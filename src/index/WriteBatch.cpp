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
    auto* batch = static_cast<WriteBatch*>(self);
    if (std::strcmp(table, "files") == 0)
        ++batch->fileRowWrites_;
    else if (operation == SQLITE_DELETE && std::strcmp(table, "folders") == 0)
        batch->folderRowRemoved_ = true;   // it can leave file rows without their folder
}

void WriteBatch::noteFileRowSumsTaken()
{
    sumsBase_ = SumsBase::stored;
    sumChanges_.clear();
    fileRowWrites_ = 0;
    notedFileRows_ = 0;
    folderRowRemoved_ = false;
}

void WriteBatch::startFileRowSumsFromEmpty()
{
    noteFileRowSumsTaken();
    sumsBase_ = SumsBase::empty;
}

void WriteBatch::noteFileRowAdded(std::int64_t category, std::int64_t counted)
{
    auto& change = sumChanges_[category];
    change.bytes += counted;
    ++change.files;
    ++notedFileRows_;
}

void WriteBatch::noteFileRowRemoved(std::int64_t category, std::int64_t counted)
{
    auto& change = sumChanges_[category];
    change.bytes -= counted;
    --change.files;
    ++notedFileRows_;
}

void WriteBatch::noteFileRowReplaced(std::int64_t storedCategory, std::int64_t storedCounted, std::int64_t category,
                                     std::int64_t counted)
{
    noteFileRowAdded(category, counted);
    noteFileRowRemoved(storedCategory, storedCounted);
    --notedFileRows_;   // one row written
}

std::optional<WriteBatch::TrackedSums> WriteBatch::trackedFileRowSums() const
{
    if (sumsBase_ == SumsBase::unknown || folderRowRemoved_ || fileRowWrites_ != notedFileRows_)
        return std::nullopt;
    return TrackedSums{sumsBase_ == SumsBase::empty, &sumChanges_};
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

void WriteBatch::insertPendingFolderRows()
{
    try {
        pendingFolderRows_.insertAll(db_);
    } catch (const SQLiteError&) {
        // The batch holds the syncs that listed the row's folder: committed without it, they
        // would stand for a folder the cache lacks. So the batch goes, as SQLite itself lets
        // it go on a full disk, and its writes count as lost.
        if (!db_.isAutocommit()) sqlite3_exec(db_.handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
        resynchronize();
        throw;
    }
}

void WriteBatch::commit()
{
    if (!open_) return;
    // Every listed subfolder of a synced folder has a row in what is committed.
    insertPendingFolderRows();
    db_.execute("COMMIT;");
    pendingFolderRows_.committed();
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
    pendingFolderRows_.lost();
    sumsBase_ = SumsBase::unknown;   // the lost rows were noted
    return true;
}
