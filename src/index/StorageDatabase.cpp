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

#include <chrono>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

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

std::string StorageDatabase::defaultDirectory() { return SystemPaths::kestrelmoorSupportDirectory(); }

StorageDatabase::StorageDatabase(std::string path, WriteBatch::Clock clock)
    : path_(std::move(path)), db_(path_), batch_(db_, std::move(clock))
{
    ScanCacheSchema::migrate(db_);
    if (const int result = UnicodeLower::registerFunction(db_.handle()); result != SQLITE_OK)
        throw SQLiteError(result, sqlite3_errmsg(db_.handle()));
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

void StorageDatabase::commit()
{
    writing([](WriteBatch& batch) { batch.commit(); });
}

std::int64_t StorageDatabase::beginScan(const std::vector<std::string>& roots)
{
    return writing([&](WriteBatch& batch) {
        batch.commit();
        auto& db = batch.connection();
        db.run("INSERT INTO scans(started, status, roots) VALUES(?, 'running', ?)", {nowSeconds(), joinedLines(roots)});
        const std::int64_t scanID = db.lastInsertRowID();
        writeFailuresAtScanStart_[scanID] = writeFailuresLocked();
        return scanID;
    });
}

void StorageDatabase::markScanResumed(std::int64_t scanID)
{
    writing([&](WriteBatch& batch) {
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
        db.run("INSERT INTO folders(parent_id, path, name, depth, modified) VALUES(NULL, ?, ?, 0, ?)",
               {path, name, modified});
        batch.count();
        return db.lastInsertRowID();
    });
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
    return writing([&](WriteBatch&) -> std::int64_t {
        const auto mark = writeFailuresAtScanStart_.find(scanID);
        if (mark == writeFailuresAtScanStart_.end()) return 0;
        return static_cast<std::int64_t>(writeFailuresLocked() - mark->second);
    });
}

bool StorageDatabase::beginBulkLoad()
{
    return writing([&](WriteBatch& batch) {
        batch.commit();
        auto& db = batch.connection();
        if (bulkLoading_ || db.scalarInt("SELECT EXISTS(SELECT 1 FROM files)") != 0) return false;
        db.execute(ScanCacheSchema::bulkLoadDrops);
        bulkLoading_ = true;
        return true;
    });
}

DirectorySyncResult StorageDatabase::syncDirectory(const DirectorySnapshot& snapshot, std::int64_t scanID)
{
    return writing([&](WriteBatch& batch) {
        try {
            return DirectorySync::sync(batch, snapshot, scanID, nowSeconds());
        } catch (...) {
            ++folderWriteFailures_;
            throw;
        }
    });
}

DirectorySyncResult StorageDatabase::syncSubfolders(const DirectorySnapshot& snapshot)
{
    return writing([&](WriteBatch& batch) {
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
                                       std::int64_t newFiles, std::int64_t changedFiles, std::int64_t deletedFiles)
{
    return writing([&](WriteBatch& batch) {
        batch.beginIfNeeded();
        auto& db = batch.connection();
        const bool completed = status == ScanRecord::Status::completed;
        // After a failed write, folders this scan did reach may look unvisited; keep them.
        const auto mark = writeFailuresAtScanStart_.find(scanID);
        const bool writesIntact = mark != writeFailuresAtScanStart_.end() && mark->second == writeFailuresLocked();
        if (completed && writesIntact) ScanFinish::pruneUnvisited(batch, scanID, roots);
        ScanFinish::recomputeTotals(db);
        if (bulkLoading_) {
            for (const auto& index : ScanCacheSchema::bulkLoadIndexes) db.execute(index);
            bulkLoading_ = false;
            // Building the indexes leaves megabytes of freed sort memory in the heap; handed
            // back, later scans of this run do not start from that high-water mark.
            malloc_trim(0);
        }
        ScanFinish::rebuildCategoryTotals(db);
        const ScanTotals totals = IndexQueries::totals(db);
        db.run("UPDATE scans SET finished = ?, status = ?, files = ?, folders = ?, bytes = ?, new_files = ?, "
               "changed_files = ?, deleted_files = ?\nWHERE id = ?",
               {nowSeconds(), rawValue(status), totals.fileCount, totals.folderCount, totals.allocatedBytes, newFiles,
                changedFiles, deletedFiles, scanID});
        if (completed) {
            db.run("INSERT INTO history(timestamp, volume_total, volume_used, scanned_bytes) VALUES(?, ?, ?, ?)",
                   {nowSeconds(), volumeTotal, volumeUsed, totals.allocatedBytes});
        }
        batch.commit();
        writeFailuresAtScanStart_.erase(scanID);
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
        writing([&](WriteBatch& batch) {
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
    reading([](SQLiteConnection& db) { db.run("DELETE FROM errors"); });
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
    reading([](SQLiteConnection& db) { db.run("UPDATE scans SET status = 'cancelled' WHERE status = 'running'"); });
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
    reading([](SQLiteConnection& db) {
        db.execute("BEGIN IMMEDIATE;");
        try {
            db.execute("DELETE FROM files; DELETE FROM folders; DELETE FROM scans; DELETE FROM history; "
                       "DELETE FROM category_totals; DELETE FROM errors; COMMIT;");
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
