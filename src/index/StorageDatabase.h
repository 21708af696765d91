#pragma once

#include "index/CacheLock.h"
#include "index/DuplicateCandidateSQL.h"
#include "index/FileRecords.h"
#include "index/FolderDifferences.h"
#include "index/IndexBuilder.h"
#include "index/LogCheckpointer.h"
#include "index/RecordedItem.h"
#include "index/SQLiteConnection.h"
#include "index/ScanRecords.h"
#include "index/ScanSession.h"
#include "index/WriteBatch.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

class CacheCompactor;

// The scan cache. An actor: every public member takes the one lock, so callers on any
// thread are served one at a time over the single connection. Every failure of the index
// is thrown as SQLiteError. Reads commit the open write batch first, so they see every
// write made so far. A scan writes through the ScanSession that startScan or resumeScan
// returns; the error log, the screens' queries (IndexQueries, SearchQuerySQL,
// DuplicateCandidateSQL), removal (ItemRemoval) and clearing (CacheMaintenance) have files
// of their own, and the write-ahead log is copied back by a LogCheckpointer.
class StorageDatabase {
public:
    static constexpr std::string_view cacheFileName = "ScanCache.sqlite";

    using ChildFolder = ScanSession::ChildFolder;
    using VisitedFolder = ScanSession::VisitedFolder;
    using VisitedTotals = ScanSession::VisitedTotals;

    // How a cache is opened. Read-only, an existing cache is opened as it is, for a cache the
    // user cannot write: every read works, every write fails with SQLITE_READONLY. `clock`
    // measures batch ages; empty means the steady clock.
    struct Opening {
        SQLiteConnection::Access access = SQLiteConnection::Access::readWrite;
        WriteBatch::Clock clock{};
        std::chrono::milliseconds busyTimeout = SQLiteConnection::defaultBusyTimeout;
        LogCheckpointer::Limits logLimits{};
        // From this many file rows on, the indexes a bulk load left out are built on a
        // thread of their own; below it at once, since a thread costs more than it spares.
        std::int64_t backgroundIndexRows = 50000;
    };

    // The application's data folder for the cache, created when missing. Throws std::system_error.
    static std::string defaultDirectory();

    // Opens or creates the cache at `path` and brings it to the current format.
    StorageDatabase(std::string path, Opening opening);
    explicit StorageDatabase(std::string path, WriteBatch::Clock clock = {});
    StorageDatabase(std::string path, SQLiteConnection::Access access, WriteBatch::Clock clock = {});
    ~StorageDatabase();
    StorageDatabase(const StorageDatabase&) = delete;
    StorageDatabase& operator=(const StorageDatabase&) = delete;

    const std::string& path() const { return path_; }
    bool isReadOnly() const { return readOnly_; }

    // Commits the open batch.
    void commit();
    // Begins a scan of `roots` with a new record.
    ScanSession startScan(const std::vector<std::string>& roots);
    // Continues the scan with this record, left cancelled by a stop or an earlier run.
    ScanSession resumeScan(std::int64_t scanID);
    // Returns once indexes being built in the background are ready (or their build has
    // failed). Meanwhile every read works, only slower, and every write waits.
    void waitForIndexes();

    // For comparisons made through another connection; safe from any thread without the lock.
    std::uint64_t rewritesCommitted() const { return batch_.rewritesCommitted(); }
    // Removes the folder at `path`, everything below it and their files; returns the folder rows removed.
    std::int64_t deleteSubtree(const std::string& path);
    // Forgets a file or folder that left the disk: its rows go, its ancestors' totals shrink
    // and the category totals are rebuilt; then commits. An unknown path changes nothing.
    void removeItem(const std::string& path);
    // The same for many items, with one rebuild of the category totals.
    void removeItems(const std::vector<std::string>& paths);
    // What the index recorded of the item at `path`, to tell it from another one put there since.
    std::optional<RecordedItem> recordedItem(const std::string& path);

    // The scan's writes as members of the cache, each a forward to the session of the scan
    // begun or resumed last (or of `scanID`). They go once the scanner's writer holds the
    // ScanSession itself.
    std::int64_t beginScan(const std::vector<std::string>& roots);
    void markScanResumed(std::int64_t scanID);
    std::int64_t ensureRoot(const std::string& path, double modified);
    std::optional<VisitedFolder> visitedChildren(std::int64_t folderID, std::int64_t scanID);
    VisitedTotals visitedTotals(std::int64_t scanID);
    std::int64_t lostFolderWrites(std::int64_t scanID);
    bool writesPending();
    std::uint64_t lostBatches();
    bool beginBulkLoad();
    DirectorySyncResult syncDirectory(const DirectorySnapshot& snapshot, std::int64_t scanID,
                                      FolderDifferences* read = nullptr);
    void stampVisited(const std::vector<std::int64_t>& folderIDs, std::int64_t scanID);
    DirectorySyncResult syncSubfolders(const DirectorySnapshot& snapshot);
    ScanTotals finishScan(std::int64_t scanID, const std::vector<std::string>& roots, ScanRecord::Status status,
                          std::int64_t volumeTotal, std::int64_t volumeUsed, std::int64_t newFiles,
                          std::int64_t changedFiles, std::int64_t deletedFiles);
    void logLostFolder(const std::string& path, const std::string& message) noexcept;

    // The scan error log. logError never fails and never commits.
    void logError(const std::string& path, const std::string& message) noexcept;
    std::vector<ScanErrorEntry> recentErrors(std::int64_t limit);
    void clearErrors();

    // Queries for the screens.
    std::vector<FileItem> largestFiles(std::int64_t limit, std::optional<StorageCategory> category = std::nullopt,
                                       const std::optional<std::string>& within = std::nullopt,
                                       std::int64_t minimumSize = 0);
    std::vector<FileItem> recentLargeFiles(double since, std::int64_t minimumSize, std::int64_t limit);
    std::vector<FolderItem> rootFolders();
    std::vector<FolderItem> childFolders(std::int64_t folderID, std::int64_t limit);
    std::optional<FolderItem> folder(const std::string& path);
    std::vector<FolderItem> largestFolders(std::int64_t limit, std::int64_t maxDepth);
    std::vector<FolderItem> folders(const std::string& name, bool outermostOnly, std::int64_t limit);
    std::vector<FolderItem> restrictedFolders(std::int64_t limit);
    std::vector<CategoryUsage> categoryTotals();
    ScanTotals totals();
    std::optional<ScanRecord> lastScan();
    // Marks scans left running by an earlier run as cancelled.
    void recoverInterruptedScans();
    std::vector<StorageHistoryPoint> history(std::int64_t limit);
    // Files and folders matching a parsed search, most allocated bytes first, at most its limit.
    std::vector<FileItem> searchFiles(const SearchQuery& query);
    std::vector<FolderItem> searchFolders(const SearchQuery& query);

    // Sizes shared by two or more files (largest first) and the files of one size, links left out.
    std::vector<DuplicateCandidateSize> duplicateCandidateSizes(std::int64_t minimumSize,
                                                                const std::optional<std::string>& within,
                                                                const std::vector<std::string>& excluding,
                                                                int limit);
    std::vector<DuplicateCandidateFile> filesWithSize(std::int64_t size, const std::optional<std::string>& within,
                                                      const std::vector<std::string>& excluding);

    // Bytes of the cache file and its log companions; 0 for any that cannot be read.
    std::int64_t databaseFileSize() const noexcept;
    // Empties every table but the schema version, in one transaction: on failure nothing
    // is removed and the error is thrown. After the commit the file is compacted and its
    // log folded back, so the disk space really returns; a failed compaction leaves the
    // cleared index in place unreported.
    void clearAll();

private:
    friend class ScanSession;
    using Held = CacheLock::Held;

    // Calls `body` with `target`, and with the held lock first when it takes that too.
    template <class Body, class Target>
    static decltype(auto) call(Body& body, const Held& held, Target& target)
    {
        if constexpr (std::is_invocable_v<Body&, const Held&, Target&>)
            return body(held, target);
        else
            return body(target);
    }

    // Runs `body` with the batch while `held` keeps the lock. After a failure the batch state
    // is taken from SQLite, which may have rolled the whole batch back.
    template <class Body>
    decltype(auto) withBatchHeld(const Held& held, Body&& body)
    {
        try {
            return call(body, held, batch_);
        } catch (...) {
            batch_.resynchronize();
            throw;
        }
    }

    // The batch as it stands, even while an index is being built: for what reads and writes
    // no row.
    template <class Body>
    decltype(auto) withBatchNow(Body&& body)
    {
        const Held held = lock_.acquire();
        return withBatchHeld(held, body);
    }

    // The batch, once no index is being built (the builder holds the write lock meanwhile),
    // with the rows of new subfolders that wait left waiting: for the syncs, which insert
    // them when they read folder rows, and for what reads none.
    template <class Body>
    decltype(auto) withBatch(Body&& body)
    {
        const Held held = lockOnceIndexesBuilt();
        return withBatchHeld(held, body);
    }

    // As withBatch(), with every waiting folder row inserted first, so that the body finds
    // every row written so far.
    template <class Body>
    decltype(auto) withCompleteBatch(Body&& body)
    {
        const Held held = lockOnceIndexesBuilt();
        return withBatchHeld(held, [&](WriteBatch& batch) -> decltype(auto) {
            batch.insertPendingFolderRows();
            return call(body, held, batch);
        });
    }

    // The connection with the open batch committed: how every public read starts. Reads do
    // not wait for an index build; no batch is open while one runs.
    template <class Body>
    decltype(auto) withCommittedRows(Body&& body)
    {
        const Held held = lock_.acquire();
        return withBatchHeld(held, [&](WriteBatch& batch) -> decltype(auto) {
            batch.commit();
            return call(body, held, batch.connection());
        });
    }

    // As withCommittedRows(), for writes outside a batch: once no index is being built, with
    // every waiting folder row inserted and committed.
    template <class Body>
    decltype(auto) withCommittedRowsToWrite(Body&& body)
    {
        return withCompleteBatch([&](const Held& held, WriteBatch& batch) -> decltype(auto) {
            batch.commit();
            return call(body, held, batch.connection());
        });
    }

    // Takes the lock when no index build runs and no compaction holds the writes, waiting for
    // them without the lock.
    Held lockOnceIndexesBuilt();
    // Builds the indexes a bulk load left out, when any are missing and no batch is open:
    // at once for fewer file rows than `backgroundIndexRows_`, else on a thread of its own.
    void buildMissingIndexesLocked(const Held& held);
    bool indexBuildRunningLocked(const Held& held) const;
    // Before a scan, which needs only one of the indexes a bulk load leaves out (it compares
    // through ScanCacheSchema::rescanIndex, built at once when missing), but would wait for the
    // write lock that a build holds: the build stops, its index under way rolled back, and the
    // scan's finish starts it again. A compaction under way is waited for.
    void stopIndexBuild();
    // After a scan's end: compacts the file behind it, when rescans left too much of it empty.
    void compactWhenLooseLocked(const Held& held);
    // On the compactor's thread: whether it may rewrite the file now.
    bool mayCompact();

    void logEntry(const std::string& path, const std::string& message, bool lostFolder) noexcept;

    // Where a scan's session began or resumed from, for its finish.
    struct SessionStart {
        std::uint64_t writeFailures = 0;    // writeFailuresLocked()
        std::uint64_t foreignCommits = 0;   // WriteBatch::foreignCommits()
        std::uint64_t rewrites = 0;         // WriteBatch::rewrites()
    };
    // Opens the session of scan `scanID` under the lock: the digests tracked, and its marks.
    ScanSession openSessionLocked(const Held& held, WriteBatch& batch, std::int64_t scanID);

    // Lost folder writes and lost batches so far; a scan that saw any must not prune what it
    // did not visit.
    std::uint64_t writeFailuresLocked(const Held&) const { return folderWriteFailures_ + batch_.lostBatches(); }

    // The session of the scan begun or resumed last, for the forwards above.
    ScanSession sessionUnderWay() { return ScanSession(*this, scanUnderWay_); }

    std::string path_;
    bool readOnly_ = false;
    std::int64_t backgroundIndexRows_ = 0;
    CacheLock lock_;
    SQLiteConnection db_;
    std::unique_ptr<LogCheckpointer> checkpointer_;
    WriteBatch batch_;
    std::uint64_t folderWriteFailures_ = 0;
    bool bulkLoading_ = false;
    std::shared_ptr<IndexBuilder> indexBuilder_;   // the latest build, finished or not
    std::shared_ptr<CacheCompactor> compactor_;    // the latest compaction, finished or not
    std::map<std::int64_t, SessionStart> sessionStarts_;
    std::int64_t scanUnderWay_ = 0;
};
