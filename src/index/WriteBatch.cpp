#include "index/WriteBatch.h"

#include "index/FolderDigests.h"
#include "index/SQLiteConnection.h"

WriteBatch::WriteBatch(SQLiteConnection& db, Clock clock)
    : db_(db), clock_(std::move(clock)), rowsMark_(FolderDigests::newRowsMark()), lastCommit_(now())
{
    // Emptying a whole table passes by the hook, which only clearing the cache or an old
    // layout does, and those empty the category totals with the file rows.
    db_.onRowWrite([this](SQLiteConnection::RowWrite write, std::string_view table) { noteRowWrite(write, table); });
}

WriteBatch::~WriteBatch() { db_.onRowWrite({}); }

void WriteBatch::noteRowWrite(SQLiteConnection::RowWrite write, std::string_view table)
{
    if (table == "files")
        ++fileRowWrites_;
    else if (write == SQLiteConnection::RowWrite::remove && table == "folders")
        folderRowRemoved_ = true;   // it can leave file rows without their folder
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
    return TrackedSums{.fromEmpty = sumsBase_ == SumsBase::empty, .changes = &sumChanges_};
}

std::chrono::steady_clock::time_point WriteBatch::now() const
{
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

void WriteBatch::beginIfNeeded()
{
    if (transaction_) return;
    transaction_.emplace(db_);
    lastCommit_ = now();
    lookForForeignCommits();
}

void WriteBatch::lookForForeignCommits()
{
    // Commits of this connection leave the version alone.
    const std::int64_t version = db_.scalarInt("PRAGMA data_version");
    const bool moved = dataVersion_ && *dataVersion_ != version;
    dataVersion_ = version;
    // Without the triggers any commit may have written rows.
    if (!moved || (FolderDigests::tracksRewrites(db_) && FolderDigests::rowsMarked(db_, rowsMark_)))
        return;
    ++foreignCommits_;
    noteRewrite();
}

void WriteBatch::commitIfNeeded()
{
    if (!transaction_) return;
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
        db_.rollback();
        resynchronize();
        throw;
    }
}

void WriteBatch::commit()
{
    if (!transaction_) return;
    // Every listed subfolder of a synced folder has a row in what is committed.
    insertPendingFolderRows();
    // Rewritten only where a write of rows dropped it, which spares a page of the log.
    if (!FolderDigests::rowsMarked(db_, rowsMark_))
        FolderDigests::markRows(db_, rowsMark_);
    transaction_->commit();
    transaction_.reset();
    pendingFolderRows_.committed();
    rewritesCommitted_.store(rewrites_, std::memory_order_release);
    pending_ = 0;
    lastCommit_ = now();
}

bool WriteBatch::resynchronize()
{
    const bool wasOpen = transaction_.has_value();
    const bool open = !db_.isAutocommit();
    if (open && !transaction_) transaction_.emplace(db_, WriteTransaction::Adopt{});
    if (!open) transaction_.reset();
    if (open || !wasOpen) return false;
    pending_ = 0;
    ++lost_;
    pendingFolderRows_.lost();
    sumsBase_ = SumsBase::unknown;   // the lost rows were noted
    return true;
}
