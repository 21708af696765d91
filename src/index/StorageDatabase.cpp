#include "index/StorageDatabase.h"

#include "index/DirectorySync.h"
#include "index/IndexQueries.h"
#include "index/ItemRemoval.h"
#include "index/ScanCacheSchema.h"
#include "index/ScanErrorLog.h"
#include "index/ScanFinish.h"
#include "index/SearchQuerySQL.h"
#include "index/UnicodeLower.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <pthread.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string joinedLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty()) text += '\n';
        text += line;
    }
    return text;
}

} // namespace

class StorageDatabase::Checkpointer {
public:
    // Past this many pages in the log a checkpoint is asked for, as SQLite's own automatic
    // checkpoint would.
    static constexpr int logPagesLimit = 2000;
    // A log only starts over when a write begins after everything in it was copied, which a
    // writer that never pauses does not give a checkpoint running beside it. Past this many
    // pages the writer copies the rest itself and starts the log over, as SQLite would. That
    // waits for the copy under way and for the cache file's flush to the disk, so it is kept
    // for logs that only scans of millions of files reach (512 MB at 16 KiB pages): a scan of a
    // million files writes up to about 170 MB, and its log starts over by itself between scans.
    static constexpr int restartPagesLimit = 16 * logPagesLimit;

    explicit Checkpointer(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &handle_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
            sqlite3_close(handle_);
            handle_ = nullptr;
            return;
        }
        sqlite3_exec(handle_, "PRAGMA cache_size=-256;", nullptr, nullptr, nullptr);
        thread_ = std::thread([this] { run(); });
    }

    ~Checkpointer()
    {
        {
            std::lock_guard guard(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
        sqlite3_close(handle_);
    }

    bool isRunning() const { return handle_ != nullptr; }

    // Called by SQLite after every commit of the scan cache's connection, on its thread.
    static int afterCommit(void* self, sqlite3* db, const char* name, int logPages)
    {
        auto* checkpointer = static_cast<Checkpointer*>(self);
        if (logPages >= restartPagesLimit) {
            // A restart fails at once while the thread's copy runs, and a writer that commits
            // often would find it running every time: the log would grow without end. Wait
            // for the copy, keep the next from starting, and restart.
            std::unique_lock lock(checkpointer->mutex_);
            checkpointer->due_ = false;
            checkpointer->wake_.wait(lock, [&] { return !checkpointer->copying_; });
            checkpointer->restarting_ = true;
            lock.unlock();
            sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
            lock.lock();
            checkpointer->restarting_ = false;
        } else if (logPages >= logPagesLimit) {
            {
                std::lock_guard guard(checkpointer->mutex_);
                checkpointer->due_ = true;
            }
            checkpointer->wake_.notify_all();
        }
        return SQLITE_OK;
    }

private:
    void run()
    {
        ::pthread_setname_np(::pthread_self(), "cache-ckpt");
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return (due_ && !restarting_) || stopping_; });
            if (stopping_)
                return;
            due_ = false;
            copying_ = true;
            lock.unlock();
            // Passive: copies what no reader still needs and never waits for the writer.
            sqlite3_wal_checkpoint_v2(handle_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            lock.lock();
            copying_ = false;
            wake_.notify_all();
        }
    }

    sqlite3* handle_ = nullptr;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool due_ = false;
    bool copying_ = false;      // the thread's passive copy is running
    bool restarting_ = false;   // the writer restarts the log: start no copy
    bool stopping_ = false;
    std::thread thread_;
};

std::string StorageDatabase::defaultDirectory() { return SystemPaths::kestrelmoorSupportDirectory(); }

StorageDatabase::StorageDatabase(std::string path, WriteBatch::Clock clock)
    : StorageDatabase(std::move(path), SQLiteConnection::Access::readWrite, std::move(clock))
{
}

StorageDatabase::StorageDatabase(std::string path, SQLiteConnection::Access access, WriteBatch::Clock clock)
    : path_(std::move(path)),
      readOnly_(access == SQLiteConnection::Access::readOnly),
      db_(path_, access),
      batch_(db_, std::move(clock))
{
    if (readOnly_) {
        ScanCacheSchema::checkColumns(db_);
    } else {
        ScanCacheSchema::migrate(db_);
    }
    if (const int result = UnicodeLower::registerFunction(db_.handle()); result != SQLITE_OK)
        throw SQLiteError(result, sqlite3_errmsg(db_.handle()));
    if (readOnly_)
        return;
    // A log that started over is cut back to this size, so that one large scan does not leave
    // hundreds of megabytes of it on disk while the program runs.
    db_.execute("PRAGMA journal_size_limit=67108864;");
    // Without a second connection SQLite checkpoints as before, on the committing thread.
    checkpointer_ = std::make_unique<Checkpointer>(path_);
    if (checkpointer_->isRunning())
        sqlite3_wal_hook(db_.handle(), &Checkpointer::afterCommit, checkpointer_.get());
    else
        checkpointer_.reset();
    // Left out by a first scan that stopped before its indexes were built.
    try {
        buildMissingIndexesLocked();
    } catch (const SQLiteError&) {
        // Built by the next finish or opening; every query works without them.
    }
}

StorageDatabase::~StorageDatabase()
{
    // An index half built is rolled back, and built again at the next opening.
    if (indexBuilder_)
        indexBuilder_->stop();
    // Before the connection closes and folds the log back itself.
    if (checkpointer_) {
        sqlite3_wal_hook(db_.handle(), nullptr, nullptr);
        checkpointer_.reset();
    }
}

void StorageDatabase::lockSpinningFirst()
{
    for (int attempt = 0; attempt < 4000; ++attempt) {
        if (mutex_.try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }
    mutex_.lock();
}

void StorageDatabase::lockOnceIndexesBuilt()
{
    for (;;) {
        lockSpinningFirst();
        if (!indexBuilder_ || indexBuilder_->isFinished())
            return;
        const auto builder = indexBuilder_;
        mutex_.unlock();
        builder->wait();
    }
}

void StorageDatabase::buildMissingIndexesLocked()
{
    if (readOnly_ || bulkLoading_ || !db_.isAutocommit())
        return;
    if (indexBuilder_ && !indexBuilder_->isFinished())
        return;
    auto missing = ScanCacheSchema::missingBulkLoadIndexes(db_);
    if (missing.empty())
        return;
    // Over a small index a thread costs more than it spares; its ids are as good as a count.
    if (db_.scalarInt("SELECT IFNULL(MAX(rowid), 0) FROM files") < backgroundIndexRows) {
        for (const auto& create : missing) db_.execute(create);
        return;
    }
    indexBuilder_ = std::make_shared<IndexBuilder>(path_, std::move(missing));
}

void StorageDatabase::waitForIndexes()
{
    lockOnceIndexesBuilt();
    mutex_.unlock();
}

void StorageDatabase::commit()
{
    writing([](WriteBatch& batch) { batch.commit(); });
}

void StorageDatabase::buildIndexesBeforeScan()
{
    writing([&](WriteBatch& batch) {
        try {
            batch.commit();
            buildMissingIndexesLocked();
        } catch (const SQLiteError&) {
            // The scan goes on without them, slower; its finish tries again.
        }
    });
    waitForIndexes();
}

std::int64_t StorageDatabase::beginScan(const std::vector<std::string>& roots)
{
    // A scan over stored rows looks each folder's rows up by their indexes: ones left out by a
    // failed finish or build are made before it, or every folder would read the whole table.
    buildIndexesBeforeScan();
    return writing([&](WriteBatch& batch) {
        batch.commit();
        checkKeptFoldersLocked();
        batch.pendingFolderRows().stop();
        auto& db = batch.connection();
        db.run("INSERT INTO scans(started, status, roots) VALUES(?, 'running', ?)", {nowSeconds(), joinedLines(roots)});
        const std::int64_t scanID = db.lastInsertRowID();
        writeFailuresAtScanStart_[scanID] = writeFailuresLocked();
        return scanID;
    });
}

void StorageDatabase::markScanResumed(std::int64_t scanID)
{
    buildIndexesBeforeScan();
    writing([&](WriteBatch& batch) {
        keptFolders_.reset();   // a resume takes what it visited from the rows themselves
        batch.pendingFolderRows().stop();
        batch.connection().run("UPDATE scans SET status = 'running', finished = NULL WHERE id = ?", {scanID});
        // A resumed scan reads every folder not stamped with its id again, failed ones included.
        writeFailuresAtScanStart_[scanID] = writeFailuresLocked();
    });
}

std::int64_t StorageDatabase::ensureRoot(const std::string& path, double modified)
{
    return writing([&](WriteBatch& batch) {
        batch.beginIfNeeded();
        auto& db = batch.connection();
        std::optional<std::pair<std::int64_t, std::int64_t>> existing;   // id, depth
        db.query("SELECT id, depth FROM folders WHERE path = ?", {path}, [&](SQLiteConnection::Statement& row) {
            if (!existing) existing = std::pair{row.integer(0), row.integer(1)};
        });
        if (existing) {
            // A folder once below another root becomes a root; its subtree moves up with it.
            if (existing->second != 0) DirectorySync::shiftDepth(db, path, -existing->second);
            db.run("UPDATE folders SET parent_id = NULL, depth = 0 WHERE id = ?", {existing->first});
            return existing->first;
        }
        const std::string name = path == "/" ? std::string("/") : Paths::lastComponent(path);
        auto& pending = batch.pendingFolderRows();
        db.run("INSERT INTO folders(id, parent_id, path, name, depth, modified) VALUES(?, NULL, ?, ?, 0, ?)",
               {pending.nextID(), path, name, modified});
        batch.count();
        const std::int64_t id = db.lastInsertRowID();
        pending.used(id);
        pending.noteStored(path);
        return id;
    });
}

void StorageDatabase::keepFolders(StoredFolders folders)
{
    lockSpinningFirst();
    locked([&](WriteBatch& batch) {
        keptFolders_.reset();
        if (!lastFinishIntact_ || batch.isOpen())
            return;
        changesAtKeeping_ = sqlite3_total_changes64(db_.handle());
        versionAtKeeping_ = dataVersionLocked();
        keptDuringIndexBuild_ = indexBuilder_ && !indexBuilder_->isFinished();
        keptFolders_ = std::move(folders);
    });
}

std::optional<StoredFolders> StorageDatabase::takeKeptFolders()
{
    lockSpinningFirst();
    return locked([&](WriteBatch&) { return std::exchange(keptFolders_, std::nullopt); });
}

std::int64_t StorageDatabase::dataVersionLocked() { return db_.scalarInt("PRAGMA data_version"); }

void StorageDatabase::checkKeptFoldersLocked()
{
    if (!keptFolders_)
        return;
    try {
        const std::int64_t version = dataVersionLocked();
        // The index build the last finish started commits on a connection of its own, and writes
        // no row the rows in brief stand for; it has ended by now.
        if (keptDuringIndexBuild_)
            versionAtKeeping_ = version;
        if (sqlite3_total_changes64(db_.handle()) == changesAtKeeping_ && version == versionAtKeeping_)
            return;
    } catch (const SQLiteError&) {
        // Not known to be current.
    }
    keptFolders_.reset();
}

std::optional<StorageDatabase::VisitedFolder> StorageDatabase::visitedChildren(std::int64_t folderID,
                                                                               std::int64_t scanID)
{
    return writing([&](WriteBatch& batch) -> std::optional<VisitedFolder> {
        auto& db = batch.connection();
        std::optional<std::pair<std::int64_t, VisitedFolder>> stamped;   // scan id, figures
        db.query("SELECT scan_id, direct_files, direct_alloc FROM folders WHERE id = ?", {folderID},
                 [&](SQLiteConnection::Statement& row) {
                     if (!stamped)
                         stamped = std::pair{row.integer(0), VisitedFolder{row.integer(1), row.integer(2), 0, {}}};
                 });
        if (!stamped || stamped->first != scanID) return std::nullopt;
        VisitedFolder visited = std::move(stamped->second);
        db.query("SELECT COUNT(*) FROM files WHERE folder_id = ? AND (flags & ?) <> 0",
                 {folderID, FileItem::Flags::hardLink.rawValue},
                 [&](SQLiteConnection::Statement& row) { visited.linkedFiles = row.integer(0); });
        db.query("SELECT id, path, name FROM folders WHERE parent_id = ?", {folderID},
                 [&](SQLiteConnection::Statement& row) {
                     visited.children.push_back({row.integer(0), row.text(1), row.text(2)});
                 });
        return visited;
    });
}

StorageDatabase::VisitedTotals StorageDatabase::visitedTotals(std::int64_t scanID)
{
    return writing([&](WriteBatch& batch) {
        auto& db = batch.connection();
        VisitedTotals totals;
        db.query("SELECT COUNT(*), IFNULL(SUM(direct_files), 0), IFNULL(SUM(direct_alloc), 0), "
                 "IFNULL(SUM(restricted), 0) FROM folders WHERE scan_id = ?",
                 {scanID}, [&](SQLiteConnection::Statement& row) {
                     totals.folders = row.integer(0);
                     totals.files = row.integer(1);
                     totals.bytes = row.integer(2);
                     totals.restrictedFolders = row.integer(3);
                 });
        db.query("SELECT new_files, changed_files, deleted_files FROM scans WHERE id = ?", {scanID},
                 [&](SQLiteConnection::Statement& row) {
                     totals.newFiles = row.integer(0);
                     totals.changedFiles = row.integer(1);
                     totals.deletedFiles = row.integer(2);
                 });
        return totals;
    });
}

std::int64_t StorageDatabase::lostFolderWrites(std::int64_t scanID)
{
    return writingWhileRowsWait([&](WriteBatch&) -> std::int64_t {
        const auto mark = writeFailuresAtScanStart_.find(scanID);
        if (mark == writeFailuresAtScanStart_.end()) return 0;
        return static_cast<std::int64_t>(writeFailuresLocked() - mark->second);
    });
}

bool StorageDatabase::writesPending()
{
    return writingWhileRowsWait([](WriteBatch& batch) { return batch.isOpen(); });
}

std::uint64_t StorageDatabase::lostBatches()
{
    return writingWhileRowsWait([](WriteBatch& batch) { return batch.lostBatches(); });
}

bool StorageDatabase::beginBulkLoad()
{
    return writing([&](WriteBatch& batch) {
        batch.commit();
        auto& db = batch.connection();
        if (bulkLoading_ || db.scalarInt("SELECT EXISTS(SELECT 1 FROM files)") != 0) return false;
        db.execute(ScanCacheSchema::bulkLoadDrops);
        batch.startFileRowSumsFromEmpty();
        bulkLoading_ = true;
        // With root rows alone, a new subfolder's path can only meet one of those.
        if (db.scalarInt("SELECT EXISTS(SELECT 1 FROM folders WHERE parent_id IS NOT NULL)") == 0) {
            std::vector<std::string> paths;
            db.query("SELECT path FROM folders", {},
                     [&](SQLiteConnection::Statement& row) { paths.push_back(row.text(0)); });
            batch.pendingFolderRows().start(db.scalarInt("SELECT IFNULL(MAX(id), 0) FROM folders"), std::move(paths));
        }
        return true;
    });
}

DirectorySyncResult StorageDatabase::syncDirectory(const DirectorySnapshot& snapshot, std::int64_t scanID,
                                                   FolderDifferences* read)
{
    return writingWhileRowsWait([&](WriteBatch& batch) {
        try {
            return DirectorySync::sync(batch, snapshot, scanID, nowSeconds(), read);
        } catch (...) {
            ++folderWriteFailures_;
            throw;
        }
    });
}

void StorageDatabase::stampVisited(const std::vector<std::int64_t>& folderIDs, std::int64_t scanID)
{
    // A failure is the caller's to log: it loses those folders.
    writing([&](WriteBatch& batch) { DirectorySync::stampVisited(batch, folderIDs, scanID, nowSeconds()); });
}

DirectorySyncResult StorageDatabase::syncSubfolders(const DirectorySnapshot& snapshot)
{
    return writingWhileRowsWait([&](WriteBatch& batch) {
        try {
            return DirectorySync::syncSubfolders(batch, snapshot);
        } catch (...) {
            ++folderWriteFailures_;
            throw;
        }
    });
}

std::int64_t StorageDatabase::deleteSubtree(const std::string& path)
{
    return writing([&](WriteBatch& batch) { return DirectorySync::deleteSubtree(batch, path); });
}

void StorageDatabase::removeItem(const std::string& path)
{
    removeItems({path});
}

void StorageDatabase::removeItems(const std::vector<std::string>& paths)
{
    writing([&](WriteBatch& batch) { ItemRemoval::remove(batch, paths); });
}

ScanTotals StorageDatabase::finishScan(std::int64_t scanID, const std::vector<std::string>& roots,
                                       ScanRecord::Status status, std::int64_t volumeTotal, std::int64_t volumeUsed,
                                       std::int64_t newFiles, std::int64_t changedFiles, std::int64_t deletedFiles,
                                       const std::vector<SQLiteConnection*>& helpers)
{
    return writingWhileRowsWait([&](WriteBatch& batch) {
        // A finish that stops half way must not be stored later by the next commit: that
        // would record as completed, with a history point, a scan whose writes were lost.
        // A finish that ends well has the indexes a first scan left out built, as they sort
        // every file row, on a thread of their own once the scan is stored; after a failure
        // (most often a full disk) that is left to the next finish or opening.
        struct Abandon {
            StorageDatabase& database;
            bool done = false;
            ~Abandon()
            {
                database.bulkLoading_ = false;
                auto& db = database.batch_.connection();
                if (!done && !db.isAutocommit()) {
                    sqlite3_exec(db.handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
                    database.batch_.forgetFileRowSums();
                }
            }
        } abandon{*this};
        try {
            batch.insertPendingFolderRows();
        } catch (const SQLiteError&) {
            // The batch went with the row, which the write failures below count: the finish
            // goes on without them.
        }
        batch.pendingFolderRows().stop();
        if (!helpers.empty()) batch.commit();
        batch.beginIfNeeded();
        auto& db = batch.connection();
        const bool completed = status == ScanRecord::Status::completed;
        // After a failed write, folders this scan did reach may look unvisited; keep them.
        const auto mark = writeFailuresAtScanStart_.find(scanID);
        const bool writesIntact = mark != writeFailuresAtScanStart_.end() && mark->second == writeFailuresLocked();
        lastFinishIntact_ = false;
        // A first scan's file rows have no folder index yet.
        const ScanTotals totals =
            ScanFinish::settleFolders(batch, scanID, roots, completed && writesIntact, bulkLoading_, helpers);
        // A rescan that found nothing changed leaves them as the last finish took them; one
        // whose every file row write was noted adds what it noted.
        if (!batch.fileRowSumsCurrent()) {
            const auto tracked = batch.trackedFileRowSums();
            if (!tracked || !ScanFinish::addCategoryChanges(db, tracked->fromEmpty, *tracked->changes))
                ScanFinish::removeOrphanFilesAndRebuildCategoryTotals(batch);
        }
        db.run("UPDATE scans SET finished = ?, status = ?, files = ?, folders = ?, bytes = ?, new_files = ?, "
               "changed_files = ?, deleted_files = ?\nWHERE id = ?",
               {nowSeconds(), rawValue(status), totals.fileCount, totals.folderCount, totals.allocatedBytes, newFiles,
                changedFiles, deletedFiles, scanID});
        if (completed) {
            db.run("INSERT INTO history(timestamp, volume_total, volume_used, scanned_bytes) VALUES(?, ?, ?, ?)",
                   {nowSeconds(), volumeTotal, volumeUsed, totals.allocatedBytes});
        }
        batch.commit();
        batch.noteFileRowSumsTaken();
        abandon.done = true;
        lastFinishIntact_ = completed && writesIntact;
        bulkLoading_ = false;
        try {
            buildMissingIndexesLocked();
        } catch (const SQLiteError&) {
            // The next opening or finish tries again.
        }
        writeFailuresAtScanStart_.erase(scanID);
        // A scan leaves megabytes of freed memory in the heaps of its threads (the folders'
        // figures, the listings) and a full page cache of pages it wrote; handed back, the
        // program does not keep that high-water mark while it shows the results, and the
        // next scan's readers find the room they need.
        sqlite3_db_release_memory(db.handle());
        malloc_trim(0);
        return totals;
    });
}

void StorageDatabase::logError(const std::string& path, const std::string& message) noexcept
{
    logEntry(path, message, false);
}

void StorageDatabase::logLostFolder(const std::string& path, const std::string& message) noexcept
{
    logEntry(path, message, true);
}

void StorageDatabase::logEntry(const std::string& path, const std::string& message, bool lostFolder) noexcept
{
    try {
        writingWhileRowsWait([&](WriteBatch& batch) {
            if (lostFolder) ++folderWriteFailures_;
            ScanErrorLog::log(batch, path, message, nowSeconds());
        });
    } catch (...) {
        // Only the lock itself can throw here; the log never fails towards its callers.
    }
}

std::vector<ScanErrorEntry> StorageDatabase::recentErrors(std::int64_t limit)
{
    return reading([&](SQLiteConnection& db) { return ScanErrorLog::recent(db, limit); });
}

void StorageDatabase::clearErrors()
{
    updating([](SQLiteConnection& db) { db.run("DELETE FROM errors"); });
}

std::vector<FileItem> StorageDatabase::largestFiles(std::int64_t limit, std::optional<StorageCategory> category,
                                                    const std::optional<std::string>& within,
                                                    std::int64_t minimumSize)
{
    return reading([&](SQLiteConnection& db) {
        return IndexQueries::largestFiles(db, limit, category, within, minimumSize);
    });
}

std::vector<FileItem> StorageDatabase::recentLargeFiles(double since, std::int64_t minimumSize, std::int64_t limit)
{
    return reading([&](SQLiteConnection& db) { return IndexQueries::recentLargeFiles(db, since, minimumSize, limit); });
}

std::vector<FolderItem> StorageDatabase::rootFolders()
{
    return reading([](SQLiteConnection& db) { return IndexQueries::rootFolders(db); });
}

std::vector<FolderItem> StorageDatabase::childFolders(std::int64_t folderID, std::int64_t limit)
{
    return reading([&](SQLiteConnection& db) { return IndexQueries::childFolders(db, folderID, limit); });
}

std::optional<RecordedItem> StorageDatabase::recordedItem(const std::string& path)
{
    return reading([&](SQLiteConnection& db) { return RecordedItem::lookUp(db, path); });
}

std::optional<FolderItem> StorageDatabase::folder(const std::string& path)
{
    return reading([&](SQLiteConnection& db) { return IndexQueries::folder(db, path); });
}

std::vector<FolderItem> StorageDatabase::largestFolders(std::int64_t limit, std::int64_t maxDepth)
{
    return reading([&](SQLiteConnection& db) { return IndexQueries::largestFolders(db, limit, maxDepth); });
}

std::vector<FolderItem> StorageDatabase::folders(const std::string& name, bool outermostOnly, std::int64_t limit)
{
    return reading([&](SQLiteConnection& db) { return IndexQueries::folders(db, name, outermostOnly, limit); });
}

std::vector<FolderItem> StorageDatabase::restrictedFolders(std::int64_t limit)
{
    return reading([&](SQLiteConnection& db) { return IndexQueries::restrictedFolders(db, limit); });
}

std::vector<CategoryUsage> StorageDatabase::categoryTotals()
{
    return reading([](SQLiteConnection& db) { return IndexQueries::categoryTotals(db); });
}

ScanTotals StorageDatabase::totals()
{
    return reading([](SQLiteConnection& db) { return IndexQueries::totals(db); });
}

std::optional<ScanRecord> StorageDatabase::lastScan()
{
    return reading([](SQLiteConnection& db) { return IndexQueries::lastScan(db); });
}

void StorageDatabase::recoverInterruptedScans()
{
    updating([](SQLiteConnection& db) { db.run("UPDATE scans SET status = 'cancelled' WHERE status = 'running'"); });
}

std::vector<StorageHistoryPoint> StorageDatabase::history(std::int64_t limit)
{
    return reading([&](SQLiteConnection& db) { return IndexQueries::history(db, limit); });
}

std::vector<FileItem> StorageDatabase::searchFiles(const SearchQuery& query)
{
    return reading([&](SQLiteConnection& db) { return SearchQuerySQL(db).files(query); });
}

std::vector<FolderItem> StorageDatabase::searchFolders(const SearchQuery& query)
{
    return reading([&](SQLiteConnection& db) { return SearchQuerySQL(db).folders(query); });
}

std::vector<DuplicateCandidateSize> StorageDatabase::duplicateCandidateSizes(std::int64_t minimumSize,
                                                                             const std::optional<std::string>& within,
                                                                             const std::vector<std::string>& excluding,
                                                                             int limit)
{
    return reading([&](SQLiteConnection& db) {
        return DuplicateCandidateSQL(db).candidateSizes(minimumSize, within, excluding, limit);
    });
}

std::vector<DuplicateCandidateFile> StorageDatabase::filesWithSize(std::int64_t size,
                                                                   const std::optional<std::string>& within,
                                                                   const std::vector<std::string>& excluding)
{
    return reading([&](SQLiteConnection& db) { return DuplicateCandidateSQL(db).files(size, within, excluding); });
}

std::int64_t StorageDatabase::databaseFileSize() const noexcept
{
    std::int64_t total = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat info {};
        if (::stat((path_ + suffix).c_str(), &info) == 0) total += static_cast<std::int64_t>(info.st_size);
    }
    return total;
}

void StorageDatabase::clearAll()
{
    updating([this](SQLiteConnection& db) {
        batch_.noteRewrite();
        keptFolders_.reset();
        db.execute("BEGIN IMMEDIATE;");
        try {
            db.execute("DELETE FROM files; DELETE FROM folders; DELETE FROM scans; DELETE FROM history; "
                       "DELETE FROM category_totals; DELETE FROM errors; COMMIT;");
            // Emptying a table passes by the row hook.
            batch_.startFileRowSumsFromEmpty();
        } catch (...) {
            if (!db.isAutocommit())
                db.execute("ROLLBACK;");
            throw;
        }
        try {
            // VACUUM writes the whole new file into the log; the checkpoint moves it back
            // and empties the log, or the cache would take twice its old size.
            db.execute("VACUUM;");
            db.execute("PRAGMA wal_checkpoint(TRUNCATE);");
        } catch (const SQLiteError&) {
            // The tables are empty either way; SQLite reuses the free pages.
        }
    });
}
