#pragma once

#include "index/DuplicateCandidateSQL.h"
#include "index/FileRecords.h"
#include "index/FolderDifferences.h"
#include "index/IndexBuilder.h"
#include "index/RecordedItem.h"
#include "index/StoredFolders.h"
#include "index/SQLiteConnection.h"
#include "index/ScanRecords.h"
#include "index/WriteBatch.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The scan cache. An actor: every public member takes the one lock, so callers on any
// thread are served one at a time over the single connection. Every failure of the index
// is thrown as SQLiteError. Reads commit the open write batch first, so they see every
// write made so far.
class StorageDatabase {
public:
    static constexpr std::string_view cacheFileName = "ScanCache.sqlite";

    struct ChildFolder {
        std::int64_t id = 0;
        std::string path;
        std::string name;
        friend bool operator==(const ChildFolder&, const ChildFolder&) = default;
    };
    // What the index already holds of a folder that this scan has synced.
    struct VisitedFolder {
        std::int64_t files = 0;   // direct file count
        std::int64_t bytes = 0;   // direct counted allocated bytes
        std::int64_t linkedFiles = 0;   // direct files with the hardLink flag
        std::vector<ChildFolder> children;
    };

    // The application's data folder for the cache, created when missing. Throws std::system_error.
    static std::string defaultDirectory();

    // Opens or creates the cache at `path` and brings it to the current format.
    // `clock` measures batch ages; empty means the steady clock.
    explicit StorageDatabase(std::string path, WriteBatch::Clock clock = {});
    // Read-only, an existing cache is opened as it is, for a cache the user cannot write:
    // every read works, every write fails with SQLITE_READONLY.
    StorageDatabase(std::string path, SQLiteConnection::Access access, WriteBatch::Clock clock = {});
    ~StorageDatabase();
    StorageDatabase(const StorageDatabase&) = delete;
    StorageDatabase& operator=(const StorageDatabase&) = delete;

    const std::string& path() const { return path_; }
    bool isReadOnly() const { return readOnly_; }

    // What a scan holds in the index of the folders it has synced so far, with the figures its
    // record kept when it last stopped.
    struct VisitedTotals {
        std::int64_t folders = 0;
        std::int64_t files = 0;               // direct files of those folders
        std::int64_t bytes = 0;               // their direct counted allocated bytes
        std::int64_t restrictedFolders = 0;
        std::int64_t newFiles = 0;
        std::int64_t changedFiles = 0;
        std::int64_t deletedFiles = 0;
    };

    // Batches and the outline of a scan.
    void commit();
    std::int64_t beginScan(const std::vector<std::string>& roots);
    void markScanResumed(std::int64_t scanID);
    std::int64_t ensureRoot(const std::string& path, double modified);
    std::optional<VisitedFolder> visitedChildren(std::int64_t folderID, std::int64_t scanID);
    VisitedTotals visitedTotals(std::int64_t scanID);
    // Folder writes that scan `scanID` failed or gave up since it began or was resumed, and
    // write batches lost meanwhile: above 0, the index lacks folders the scan reached.
    std::int64_t lostFolderWrites(std::int64_t scanID);
    // True while writes wait in an open batch, not yet stored.
    bool writesPending();
    // Open batches lost so far (rolled back by SQLite on a full disk or an I/O error).
    std::uint64_t lostBatches();
    // When the index holds no file rows (a first scan into a new or cleared cache), drops the
    // indexes that would fill in no particular order; the next finishScan has them built
    // again once it has stored the scan. Returns whether it dropped them. When the folders
    // table holds root rows alone, the rows of new subfolders then wait for their own syncs
    // (PendingFolderRows) until the scan's finish.
    bool beginBulkLoad();
    // Returns once indexes being built in the background are ready (or their build has
    // failed). Meanwhile every read works, only slower, and every write waits.
    void waitForIndexes();

    // Writes one folder's differences. Commits between folders when the batch is due. With
    // `read`, a comparison made through another connection (DirectorySync::compare) spares
    // reading the stored rows again while it still holds.
    DirectorySyncResult syncDirectory(const DirectorySnapshot& snapshot, std::int64_t scanID,
                                      FolderDifferences* read = nullptr);
    // Writes the visit stamps such syncs left to the caller (DirectorySync::stampVisited).
    void stampVisited(const std::vector<std::int64_t>& folderIDs, std::int64_t scanID);

    // The rows in brief a scan recorded, kept after its finish when that stored a completed
    // scan with every write intact, so that the next scan need not read them back. They go
    // at the next scan's begin when anything else has written to the cache since.
    void keepFolders(StoredFolders folders);
    // The kept rows in brief, if the begin of the scan now under way found them current.
    std::optional<StoredFolders> takeKeptFolders();
    // For comparisons made through another connection; safe from any thread without the lock.
    std::uint64_t rewritesCommitted() const { return batch_.rewritesCommitted(); }
    // Writes only the rows of a folder and of its subfolders, for a folder whose files are
    // synced later; returns their ids. Fails like syncDirectory.
    DirectorySyncResult syncSubfolders(const DirectorySnapshot& snapshot);
    // Removes the folder at `path`, everything below it and their files; returns the folder rows removed.
    std::int64_t deleteSubtree(const std::string& path);
    // Forgets a file or folder that left the disk: its rows go, its ancestors' totals shrink
    // and the category totals are rebuilt; then commits. An unknown path changes nothing.
    void removeItem(const std::string& path);
    // The same for many items, with one rebuild of the category totals.
    void removeItems(const std::vector<std::string>& paths);
    // What the index recorded of the item at `path`, to tell it from another one put there since.
    std::optional<RecordedItem> recordedItem(const std::string& path);

    // Ends a scan: for a completed scan whose writes all succeeded, removes what it did not
    // visit; then recomputes every total and closes the scan record. Returns the index totals.
    // `helpers`, other connections to the cache that hold no read, read the folder rows side by
    // side; the open batch is committed first so that they see it.
    ScanTotals finishScan(std::int64_t scanID, const std::vector<std::string>& roots, ScanRecord::Status status,
                          std::int64_t volumeTotal, std::int64_t volumeUsed, std::int64_t newFiles,
                          std::int64_t changedFiles, std::int64_t deletedFiles,
                          const std::vector<SQLiteConnection*>& helpers = {});

    // The scan error log. logError never fails and never commits.
    void logError(const std::string& path, const std::string& message) noexcept;
    // Logs a folder that a scan lost before writing it; like a failed sync, it keeps the
    // scan's finish from removing what the scan did not visit.
    void logLostFolder(const std::string& path, const std::string& message) noexcept;
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
    // Runs `body` with the lock held. After a failure the batch state is taken from SQLite,
    // which may have rolled the whole batch back.
    template <class Body>
    decltype(auto) locked(Body&& body)
    {
        std::lock_guard lock(mutex_, std::adopt_lock);
        try {
            return body(batch_);
        } catch (...) {
            batch_.resynchronize();
            throw;
        }
    }

    // As locked(), once no index is being built: the builder holds the write lock meanwhile.
    // Folder rows still waiting go in first, so that the body finds every row written so far.
    template <class Body>
    decltype(auto) writing(Body&& body)
    {
        lockOnceIndexesBuilt();
        return locked([&](WriteBatch& batch) -> decltype(auto) {
            batch.insertPendingFolderRows();
            return body(batch);
        });
    }

    // As writing(), leaving waiting folder rows to wait: for the syncs, which insert them
    // when they read folder rows, and for what reads none.
    template <class Body>
    decltype(auto) writingWhileRowsWait(Body&& body)
    {
        lockOnceIndexesBuilt();
        return locked(std::forward<Body>(body));
    }

    // As locked(), after committing the open batch: how every public read starts. Reads do not
    // wait for an index build; no batch is open while one runs.
    template <class Body>
    decltype(auto) reading(Body&& body)
    {
        lockSpinningFirst();
        return locked([&](WriteBatch& batch) -> decltype(auto) {
            batch.commit();
            return body(batch.connection());
        });
    }

    // As reading(), for writes outside a batch.
    template <class Body>
    decltype(auto) updating(Body&& body)
    {
        return writing([&](WriteBatch& batch) -> decltype(auto) {
            batch.commit();
            return body(batch.connection());
        });
    }

    // Drops the kept rows in brief unless nothing has written to the cache since they were kept.
    void checkKeptFoldersLocked();
    std::int64_t dataVersionLocked();

    // Takes the lock when no index build runs, waiting for a running one without the lock.
    void lockOnceIndexesBuilt();
    // Builds the indexes a first scan left out, when any are missing and no batch is open:
    // at once for fewer file rows than this, else on a thread of its own. The lock is held.
    static constexpr std::int64_t backgroundIndexRows = 50000;
    void buildMissingIndexesLocked();
    // As above, waiting for the build: before a scan that compares with stored rows.
    void buildIndexesBeforeScan();

    // Workers hold the lock for well under a millisecond per folder; waiting for it briefly
    // in user space beats sleeping in the kernel and being woken long after it came free.
    void lockSpinningFirst();

    void logEntry(const std::string& path, const std::string& message, bool lostFolder) noexcept;

    // Failed or lost folder writes and lost batches so far; a scan that saw any must not prune
    // what it did not visit.
    std::uint64_t writeFailuresLocked() const { return folderWriteFailures_ + batch_.lostBatches(); }

    // Copies the write-ahead log back into the cache file on a thread of its own, so that no
    // write waits for a checkpoint's disk flushes.
    class Checkpointer;

    std::string path_;
    bool readOnly_ = false;
    std::mutex mutex_;
    SQLiteConnection db_;
    std::unique_ptr<Checkpointer> checkpointer_;
    WriteBatch batch_;
    std::uint64_t folderWriteFailures_ = 0;
    bool bulkLoading_ = false;
    std::shared_ptr<IndexBuilder> indexBuilder_;   // the latest build, finished or not
    std::map<std::int64_t, std::uint64_t> writeFailuresAtScanStart_;
    bool lastFinishIntact_ = false;   // a completed scan whose every write was stored
    // The rows in brief kept from the last scan, and how the cache stood then: the rows this
    // connection had changed and the version other connections' commits move on.
    std::optional<StoredFolders> keptFolders_;
    std::int64_t changesAtKeeping_ = 0;
    std::int64_t versionAtKeeping_ = 0;
    bool keptDuringIndexBuild_ = false;
};
