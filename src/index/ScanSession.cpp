#include "index/ScanSession.h"

#include "index/DirectorySync.h"
#include "index/FolderDigests.h"
#include "index/ScanCacheSchema.h"
#include "index/ScanErrorLog.h"
#include "index/ScanFinish.h"
#include "index/StorageDatabase.h"
#include "platform/Paths.h"

#include <chrono>
#include <malloc.h>
#include <utility>

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

std::int64_t ScanSession::ensureRoot(const std::string& path, double modified)
{
    return database_->withCompleteBatch([&](WriteBatch& batch) {
        batch.beginIfNeeded();
        auto& db = batch.connection();
        std::optional<std::pair<std::int64_t, std::int64_t>> existing;   // id, depth
        db.query("SELECT id, depth FROM folders WHERE path = ?", {path}, [&](SQLiteConnection::Statement& row) {
            if (!existing) existing = std::pair{row.integer(0), row.integer(1)};
        });
        if (existing) {
            // A folder once below another root becomes a root; its subtree moves up with it.
            // A root left as it is keeps its digest, which a reader may have matched already.
            if (existing->second != 0) DirectorySync::shiftDepth(db, path, -existing->second);
            if (db.run("UPDATE folders SET parent_id = NULL, depth = 0 WHERE id = ? AND "
                       "(parent_id IS NOT NULL OR depth <> 0)",
                       {existing->first}) > 0)
                batch.noteRewrite();
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

bool ScanSession::beginBulkLoad()
{
    StorageDatabase& database = *database_;
    return database.withCompleteBatch([&](WriteBatch& batch) {
        batch.commit();
        auto& db = batch.connection();
        if (database.bulkLoading_ || db.scalarInt("SELECT EXISTS(SELECT 1 FROM files)") != 0) return false;
        db.execute(ScanCacheSchema::bulkLoadDrops);
        FolderDigests::stopTrackingInserts(db);
        batch.startFileRowSumsFromEmpty();
        database.bulkLoading_ = true;
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

std::optional<ScanSession::VisitedFolder> ScanSession::visitedChildren(std::int64_t folderID)
{
    return database_->withCompleteBatch([&](WriteBatch& batch) -> std::optional<VisitedFolder> {
        auto& db = batch.connection();
        std::optional<std::pair<std::int64_t, VisitedFolder>> stamped;   // scan id, figures
        db.query("SELECT scan_id, direct_files, direct_alloc FROM folders WHERE id = ?", {folderID},
                 [&](SQLiteConnection::Statement& row) {
                     if (!stamped)
                         stamped = std::pair{row.integer(0),
                                             VisitedFolder{.files = row.integer(1), .bytes = row.integer(2)}};
                 });
        if (!stamped || stamped->first != id_) return std::nullopt;
        VisitedFolder visited = std::move(stamped->second);
        db.query("SELECT COUNT(*) FROM files WHERE folder_id = ? AND (flags & ?) <> 0",
                 {folderID, FileItem::Flags::hardLink.rawValue},
                 [&](SQLiteConnection::Statement& row) { visited.linkedFiles = row.integer(0); });
        db.query("SELECT id, path, name FROM folders WHERE parent_id = ?", {folderID},
                 [&](SQLiteConnection::Statement& row) {
                     visited.children.push_back({.id = row.integer(0), .path = row.text(1), .name = row.text(2)});
                 });
        return visited;
    });
}

ScanSession::VisitedTotals ScanSession::visitedTotals()
{
    return database_->withCompleteBatch([&](WriteBatch& batch) {
        auto& db = batch.connection();
        VisitedTotals totals;
        db.query("SELECT COUNT(*), IFNULL(SUM(direct_files), 0), IFNULL(SUM(direct_alloc), 0), "
                 "IFNULL(SUM(restricted), 0) FROM folders WHERE scan_id = ?",
                 {id_}, [&](SQLiteConnection::Statement& row) {
                     totals.folders = row.integer(0);
                     totals.files = row.integer(1);
                     totals.bytes = row.integer(2);
                     totals.restrictedFolders = row.integer(3);
                 });
        db.query("SELECT new_files, changed_files, deleted_files FROM scans WHERE id = ?", {id_},
                 [&](SQLiteConnection::Statement& row) {
                     totals.newFiles = row.integer(0);
                     totals.changedFiles = row.integer(1);
                     totals.deletedFiles = row.integer(2);
                 });
        return totals;
    });
}

std::int64_t ScanSession::lostFolderWrites()
{
    StorageDatabase& database = *database_;
    return database.withBatch([&](const StorageDatabase::Held& held, WriteBatch&) -> std::int64_t {
        const auto start = database.sessionStarts_.find(id_);
        if (start == database.sessionStarts_.end()) return 0;
        return static_cast<std::int64_t>(database.writeFailuresLocked(held) - start->second.writeFailures);
    });
}

bool ScanSession::writesPending()
{
    return database_->withBatch([](WriteBatch& batch) { return batch.isOpen(); });
}

std::uint64_t ScanSession::lostBatches()
{
    return database_->withBatch([](WriteBatch& batch) { return batch.lostBatches(); });
}

template <class Write>
auto ScanSession::writeFolder(Write&& write)
{
    StorageDatabase& database = *database_;
    return database.withBatch([&](WriteBatch& batch) {
        try {
            return write(batch);
        } catch (...) {
            ++database.folderWriteFailures_;
            throw;
        }
    });
}

DirectorySyncResult ScanSession::syncDirectory(const DirectorySnapshot& snapshot, FolderDifferences* read,
                                               std::uint64_t digest, const FolderDigests::FileSum& parted)
{
    return writeFolder([&](WriteBatch& batch) {
        return DirectorySync::sync(batch, snapshot, id_, nowSeconds(), read, digest, parted);
    });
}

std::optional<DirectorySyncResult> ScanSession::syncSummed(const DirectorySnapshot& snapshot, FolderDifferences& read,
                                                          std::uint64_t digest, const FolderDigests::FileSum& summed)
{
    return writeFolder([&](WriteBatch& batch) {
        return DirectorySync::syncSummed(batch, snapshot, id_, nowSeconds(), read, digest, summed);
    });
}

std::optional<std::int64_t> ScanSession::beginParts(const DirectorySnapshot& snapshot)
{
    return writeFolder([&](WriteBatch& batch) { return DirectorySync::beginParts(batch, snapshot); });
}

std::int64_t ScanSession::insertPart(std::int64_t folderID, const std::vector<ScannedFile>& files)
{
    return writeFolder(
        [&](WriteBatch& batch) { return DirectorySync::insertPart(batch, folderID, files, nowSeconds()); });
}

void ScanSession::stampVisited(const std::vector<std::int64_t>& folderIDs)
{
    // A failure is the caller's to log: it loses those folders.
    database_->withCompleteBatch(
        [&](WriteBatch& batch) { DirectorySync::stampVisited(batch, folderIDs, id_, nowSeconds()); });
}

DirectorySyncResult ScanSession::syncSubfolders(const DirectorySnapshot& snapshot)
{
    return writeFolder([&](WriteBatch& batch) { return DirectorySync::syncSubfolders(batch, snapshot); });
}

void ScanSession::logLostFolder(const std::string& path, const std::string& message) noexcept
{
    database_->logEntry(path, message, true);
}

std::uint64_t ScanSession::digestSeed()
{
    return database_->withBatchNow([](WriteBatch& batch) { return FolderDigests::seed(batch.connection()); });
}

ScanSession::Finished ScanSession::finish(const FinishRequest& request)
{
    StorageDatabase& database = *database_;
    return database.withBatch([&](const StorageDatabase::Held& held, WriteBatch& batch) {
        // A finish that stops half way must not be stored later by the next commit: that
        // would record as completed, with a history point, a scan whose writes were lost.
        // A finish that ends well has the indexes a bulk load left out built, as they sort
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
                    db.rollback();
                    database.batch_.forgetFileRowSums();
                }
            }
        } abandon{.database = database};
        try {
            batch.insertPendingFolderRows();
        } catch (const SQLiteError&) {
            // The batch went with the row, which the write failures below count: the finish
            // goes on without them.
        }
        batch.pendingFolderRows().stop();
        // Looks for other writers' commits as it begins; none can come while it is open.
        batch.beginIfNeeded();
        auto& db = batch.connection();
        const auto start = database.sessionStarts_.find(id_);
        const bool known = start != database.sessionStarts_.end();
        // What the scan compared, visited and will not prune is as the cache stood before another
        // writer's commit: its visits go, so that its resume reads every folder again.
        // (A scan finished again has no session, and removes nothing, below.)
        const bool viewKept = !known || start->second.foreignCommits == batch.foreignCommits();
        if (!viewKept)
            db.runValues("UPDATE folders SET scan_id = 0 WHERE scan_id = ?", id_);
        const ScanRecord::Status status = request.status == ScanRecord::Status::completed && !viewKept
                                              ? ScanRecord::Status::cancelled
                                              : request.status;
        const bool completed = status == ScanRecord::Status::completed;
        // The digests a bulk load wrote untracked hold if nothing but its own syncs wrote
        // meanwhile. After a failure (most often a full disk) the next session or opening
        // tracks again, without them.
        if (database.bulkLoading_ && status != ScanRecord::Status::failed)
            FolderDigests::resumeTracking(db, known && viewKept && start->second.rewrites == batch.rewrites());
        // After a failed write, folders this scan did reach may look unvisited; keep them.
        const bool writesIntact = known && start->second.writeFailures == database.writeFailuresLocked(held);
        // A bulk load's file rows have no folder index yet.
        const ScanTotals totals = ScanFinish::pruneAndTotalFolders(batch, id_, request.roots, completed && writesIntact,
                                                                   database.bulkLoading_);
        // A rescan that found nothing changed leaves them as the last finish took them; one
        // whose every file row write was noted adds what it noted.
        if (!viewKept)
            batch.forgetFileRowSums();
        if (!batch.fileRowSumsCurrent()) {
            const auto tracked = batch.trackedFileRowSums();
            if (!tracked || !ScanFinish::addCategoryChanges(db, tracked->fromEmpty, *tracked->changes))
                ScanFinish::removeOrphanFilesAndRebuildCategoryTotals(batch);
        }
        db.run("UPDATE scans SET finished = ?, status = ?, files = ?, folders = ?, bytes = ?, new_files = ?, "
               "changed_files = ?, deleted_files = ?\nWHERE id = ?",
               {nowSeconds(), rawValue(status), totals.fileCount, totals.folderCount, totals.allocatedBytes,
                request.newFiles, request.changedFiles, request.deletedFiles, id_});
        if (completed) {
            db.run("INSERT INTO history(timestamp, volume_total, volume_used, scanned_bytes) VALUES(?, ?, ?, ?)",
                   {nowSeconds(), request.volumeTotal, request.volumeUsed, totals.allocatedBytes});
        }
        batch.commit();
        batch.noteFileRowSumsTaken();
        abandon.done = true;
        database.bulkLoading_ = false;
        try {
            database.buildMissingIndexesLocked(held);
        } catch (const SQLiteError&) {
            // The next opening or finish tries again.
        }
        database.compactWhenLooseLocked(held);
        database.sessionStarts_.erase(id_);
        // A scan leaves megabytes of freed memory in the heaps of its threads (the folders'
        // figures, the listings) and a full page cache of pages it wrote; handed back, the
        // program does not keep that high-water mark while it shows the results, and the
        // next scan's readers find the room they need.
        db.releaseMemory();
        malloc_trim(0);
        return Finished{.status = status, .totals = totals};
    });
}
