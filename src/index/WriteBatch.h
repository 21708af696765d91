#pragma once

#include "index/PendingFolderRows.h"
#include "index/SQLiteConnection.h"
#include "index/WriteTransaction.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

// Groups a scan's writes into large transactions: opened by the first write, committed
// between folders when big or old enough, and always before anything is read. Holds the
// folder rows a first scan keeps waiting (see PendingFolderRows), which go in before a commit.
//
// Terms:
// - a lost batch: an open batch that SQLite rolled back as a whole (a full disk, an I/O
//   error) or that a waiting row could not join; every write in it is gone;
// - a rewrite: a write to a folder's rows other than that folder's own sync (a removal, a
//   subtree deleted or moved), after which a comparison read before it may be stale;
// - the file row sums: the per-category sums over every file row, which a finish can take
//   from the writes it noted instead of reading every row.
class WriteBatch {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Due from the 20000th counted write on, or when older than a second.
    static constexpr std::int64_t countLimit = 19999;
    static constexpr std::chrono::milliseconds ageLimit{1000};

    // An empty clock means the steady clock.
    WriteBatch(SQLiteConnection& db, Clock clock = {});
    ~WriteBatch();

    void beginIfNeeded();
    void commitIfNeeded();
    void commit();
    void count(std::int64_t writes = 1) { pending_ += writes; }

    // Notes a write to a folder's rows other than that folder's own sync: a removal, a subtree
    // deleted or moved. A comparison read from the committed rows before such a write may
    // be stale; see rewritesCommitted().
    void noteRewrite() { ++rewrites_; }
    std::uint64_t rewrites() const { return rewrites_; }
    // The rewrites that had been noted when the last batch was committed. Safe from any
    // thread: a reader that loads it before reading committed rows sees all of them when it
    // equals rewrites().
    std::uint64_t rewritesCommitted() const { return rewritesCommitted_.load(std::memory_order_acquire); }

    // Commits of other connections that wrote file or folder rows, told by this connection's
    // rows mark (see FolderDigests), which each commit sets: seen as each batch begins or at a
    // look of the caller's, each look that finds any counts one, and notes a rewrite, since
    // comparisons read before them may be stale.
    std::uint64_t foreignCommits() const { return foreignCommits_; }
    void lookForForeignCommits();

    // After a failure: SQLite rolls a whole transaction back on errors such as a full disk or
    // an I/O error, so the batch state is taken from the connection. Returns true when an
    // open batch was lost that way.
    bool resynchronize();

    // Whether the sums the finish takes over every file row (orphaned rows removed, category
    // totals) still hold: no file row has been added, changed or removed, and no folder row
    // removed, through this connection since a finish stored them. Not known for a cache
    // just opened, which another program may have written.
    bool fileRowSumsCurrent() const
    {
        return sumsBase_ == SumsBase::stored && fileRowWrites_ == 0 && !folderRowRemoved_;
    }
    // By the finish, once the batch holding the sums it took is committed.
    void noteFileRowSumsTaken();

    // How the category sums move with the file rows a sync writes, noted once each row is
    // written, so that a finish can add that to the stored sums instead of reading every row.
    struct CategoryChange {
        std::int64_t bytes = 0;
        std::int64_t files = 0;
    };
    using CategoryChanges = std::map<std::int64_t, CategoryChange>;
    void noteFileRowAdded(std::int64_t category, std::int64_t counted);
    void noteFileRowRemoved(std::int64_t category, std::int64_t counted);
    void noteFileRowReplaced(std::int64_t storedCategory, std::int64_t storedCounted, std::int64_t category,
                             std::int64_t counted);
    // With the files table empty: the sums start from nothing, whatever was stored.
    void startFileRowSumsFromEmpty();
    // After a rollback of writes that were noted.
    void forgetFileRowSums() { sumsBase_ = SumsBase::unknown; }
    struct TrackedSums {
        bool fromEmpty = false;   // else from the sums the last finish stored
        const CategoryChanges* changes = nullptr;
    };
    // Only while every file row written since the sums were taken (or started from empty) was
    // noted, no folder row went (it may leave file rows behind) and no batch was lost.
    std::optional<TrackedSums> trackedFileRowSums() const;

    // Folder rows given ids and not inserted yet. Anything that reads folder rows through the
    // connection, or writes them other than by a sync, inserts them first.
    PendingFolderRows& pendingFolderRows() { return pendingFolderRows_; }
    // A row that cannot go in loses the open batch, and then fails with SQLiteError.
    void insertPendingFolderRows();

    // How many open batches SQLite has rolled back so far: their writes are gone.
    std::uint64_t lostBatches() const { return lost_; }
    bool isOpen() const { return transaction_.has_value(); }
    SQLiteConnection& connection() { return db_; }

private:
    std::chrono::steady_clock::time_point now() const;
    void noteRowWrite(SQLiteConnection::RowWrite write, std::string_view table);

    SQLiteConnection& db_;
    Clock clock_;
    std::optional<WriteTransaction> transaction_;
    std::int64_t pending_ = 0;
    std::uint64_t lost_ = 0;
    std::uint64_t rewrites_ = 0;
    std::atomic<std::uint64_t> rewritesCommitted_{0};
    std::optional<std::int64_t> dataVersion_;   // as last looked at
    const std::int64_t rowsMark_;               // see FolderDigests
    std::uint64_t foreignCommits_ = 0;
    std::chrono::steady_clock::time_point lastCommit_;
    // What the sums since the last finish start from: not known for a cache just opened.
    enum class SumsBase { unknown, stored, empty };
    SumsBase sumsBase_ = SumsBase::unknown;
    CategoryChanges sumChanges_;
    std::int64_t fileRowWrites_ = 0;   // seen by SQLite
    std::int64_t notedFileRows_ = 0;   // noted by the syncs
    bool folderRowRemoved_ = false;
    PendingFolderRows pendingFolderRows_;
};
