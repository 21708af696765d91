#include "index/StorageDatabase.h"

#include "index/CacheCompactor.h"
#include "index/CacheMaintenance.h"
#include "index/DirectorySync.h"
#include "index/FolderDigests.h"
#include "index/IndexQueries.h"
#include "index/ItemRemoval.h"
#include "index/LogCheckpointer.h"
#include "index/ScanCacheSchema.h"
#include "index/ScanErrorLog.h"
#include "index/SearchQuerySQL.h"
#include "index/UnicodeLower.h"
#include "platform/SystemPaths.h"

#include <chrono>
#include <utility>

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

std::string StorageDatabase::defaultDirectory() { return SystemPaths::kestrelmoorSupportDirectory(); }

StorageDatabase::StorageDatabase(std::string path, WriteBatch::Clock clock)
    : StorageDatabase(std::move(path), Opening{.clock = std::move(clock)})
{
}

StorageDatabase::StorageDatabase(std::string path, SQLiteConnection::Access access, WriteBatch::Clock clock)
    : StorageDatabase(std::move(path), Opening{.access = access, .clock = std::move(clock)})
{
}

StorageDatabase::StorageDatabase(std::string path, Opening opening)
    : path_(std::move(path)),
      readOnly_(opening.access == SQLiteConnection::Access::readOnly),
      backgroundIndexRows_(opening.backgroundIndexRows),
      db_(path_, opening.access, opening.busyTimeout),
      batch_(db_, std::move(opening.clock))
{
    if (readOnly_) {
        ScanCacheSchema::checkColumns(db_);
    } else {
        ScanCacheSchema::migrate(db_);
    }
    UnicodeLower::registerFunction(db_);
    if (readOnly_)
        return;
    // A log that started over is cut back to this size, so that one large scan does not leave
    // hundreds of megabytes of it on disk while the program runs.
    db_.execute("PRAGMA journal_size_limit=67108864;");
    checkpointer_ = LogCheckpointer::start(db_, path_, opening.logLimits);
    // Left out by a first scan that stopped before its indexes were built.
    try {
        buildMissingIndexesLocked(lock_.acquire());
    } catch (const SQLiteError&) {
        // Built by the next finish or opening; every query works without them.
    }
}

StorageDatabase::~StorageDatabase()
{
    // An index half built is rolled back, and built again at the next opening; so is a
    // compaction, tried again after a later scan.
    if (indexBuilder_)
        indexBuilder_->stop();
    if (compactor_)
        compactor_->stop();
    // Before the connection closes and folds the log back itself.
    checkpointer_.reset();
}

StorageDatabase::Held StorageDatabase::lockOnceIndexesBuilt()
{
    for (;;) {
        std::shared_ptr<IndexBuilder> running;
        std::shared_ptr<CacheCompactor> compacting;
        {
            Held held = lock_.acquire();
            if (indexBuildRunningLocked(held))
                running = indexBuilder_;
            else if (compactor_ && compactor_->holdsWrites())
                compacting = compactor_;
            else
                return held;
        }
        if (running)
            running->wait();
        else
            compacting->waitForWrites();
    }
}

bool StorageDatabase::indexBuildRunningLocked(const Held&) const
{
    return indexBuilder_ && !indexBuilder_->isFinished();
}

void StorageDatabase::buildMissingIndexesLocked(const Held& held)
{
    if (readOnly_ || bulkLoading_ || !db_.isAutocommit())
        return;
    if (indexBuildRunningLocked(held))
        return;
    auto missing = ScanCacheSchema::missingBulkLoadIndexes(db_);
    if (missing.empty())
        return;
    // Its ids are as good as a count.
    if (db_.scalarInt("SELECT IFNULL(MAX(rowid), 0) FROM files") < backgroundIndexRows_) {
        for (const auto& create : missing) db_.execute(create);
        return;
    }
    indexBuilder_ = std::make_shared<IndexBuilder>(path_, std::move(missing));
}

void StorageDatabase::compactWhenLooseLocked(const Held& held)
{
    if (readOnly_ || indexBuildRunningLocked(held) || (compactor_ && !compactor_->isFinished()))
        return;
    compactor_ = std::make_shared<CacheCompactor>(path_, [this] { return mayCompact(); });
}

bool StorageDatabase::mayCompact()
{
    const Held held = lock_.acquire();
    // A scan under way writes again soon; so does one that ended without its finish.
    if (!sessionStarts_.empty() || indexBuildRunningLocked(held))
        return false;
    try {
        batch_.commit();   // error log entries waiting
    } catch (const SQLiteError&) {
        batch_.resynchronize();
        return false;
    }
    return db_.isAutocommit();
}

void StorageDatabase::waitForIndexes() { lockOnceIndexesBuilt(); }

void StorageDatabase::commit()
{
    withCompleteBatch([](WriteBatch& batch) { batch.commit(); });
}

void StorageDatabase::stopIndexBuild()
{
    {
        const Held held = lock_.acquire();
        if (indexBuilder_)
            indexBuilder_->stop();
    }
    withCompleteBatch([](WriteBatch& batch) {
        // Left out by a bulk load whose index build has not made it yet.
        batch.commit();
        batch.connection().execute(ScanCacheSchema::rescanIndex);
    });
}

ScanSession StorageDatabase::startScan(const std::vector<std::string>& roots)
{
    stopIndexBuild();
    return withCompleteBatch([&](const Held& held, WriteBatch& batch) {
        batch.commit();
        batch.pendingFolderRows().stop();
        std::string joined;
        for (const auto& root : roots) {
            if (!joined.empty()) joined += '\n';
            joined += root;
        }
        auto& db = batch.connection();
        db.run("INSERT INTO scans(started, status, roots) VALUES(?, 'running', ?)", {nowSeconds(), joined});
        return openSessionLocked(held, batch, db.lastInsertRowID());
    });
}

ScanSession StorageDatabase::openSessionLocked(const Held& held, WriteBatch& batch, std::int64_t scanID)
{
    auto& db = batch.connection();
    // A bulk load that stopped before its finish left them untracked.
    FolderDigests::track(db);
    // The sums the last finish stored hold while no file row was written since, by anyone.
    if (FolderDigests::sumsMarked(db))
        batch.noteFileRowSumsTaken();
    else
        batch.forgetFileRowSums();
    // Its rows mark is set with its first commit; another connection's commit before that
    // counts as one that wrote rows.
    batch.lookForForeignCommits();
    sessionStarts_[scanID] = SessionStart{.writeFailures = writeFailuresLocked(held),
                                          .foreignCommits = batch.foreignCommits(),
                                          .rewrites = batch.rewrites()};
    scanUnderWay_ = scanID;
    return ScanSession(*this, scanID);
}

ScanSession StorageDatabase::resumeScan(std::int64_t scanID)
{
    stopIndexBuild();
    return withCompleteBatch([&](const Held& held, WriteBatch& batch) {
        batch.commit();
        batch.pendingFolderRows().stop();
        // A resumed scan reads every folder not stamped with its id again, failed ones included.
        batch.connection().run("UPDATE scans SET status = 'running', finished = NULL WHERE id = ?", {scanID});
        return openSessionLocked(held, batch, scanID);
    });
}

std::int64_t StorageDatabase::beginScan(const std::vector<std::string>& roots) { return startScan(roots).id(); }

void StorageDatabase::markScanResumed(std::int64_t scanID) { resumeScan(scanID); }

std::int64_t StorageDatabase::ensureRoot(const std::string& path, double modified)
{
    return sessionUnderWay().ensureRoot(path, modified);
}

std::optional<StorageDatabase::VisitedFolder> StorageDatabase::visitedChildren(std::int64_t folderID,
                                                                               std::int64_t scanID)
{
    return ScanSession(*this, scanID).visitedChildren(folderID);
}

StorageDatabase::VisitedTotals StorageDatabase::visitedTotals(std::int64_t scanID)
{
    return ScanSession(*this, scanID).visitedTotals();
}

std::int64_t StorageDatabase::lostFolderWrites(std::int64_t scanID)
{
    return ScanSession(*this, scanID).lostFolderWrites();
}

bool StorageDatabase::writesPending() { return sessionUnderWay().writesPending(); }

std::uint64_t StorageDatabase::lostBatches() { return sessionUnderWay().lostBatches(); }

bool StorageDatabase::beginBulkLoad() { return sessionUnderWay().beginBulkLoad(); }

DirectorySyncResult StorageDatabase::syncDirectory(const DirectorySnapshot& snapshot, std::int64_t scanID,
                                                   FolderDifferences* read)
{
    return ScanSession(*this, scanID).syncDirectory(snapshot, read);
}

void StorageDatabase::stampVisited(const std::vector<std::int64_t>& folderIDs, std::int64_t scanID)
{
    ScanSession(*this, scanID).stampVisited(folderIDs);
}

DirectorySyncResult StorageDatabase::syncSubfolders(const DirectorySnapshot& snapshot)
{
    return sessionUnderWay().syncSubfolders(snapshot);
}

ScanTotals StorageDatabase::finishScan(std::int64_t scanID, const std::vector<std::string>& roots,
                                       ScanRecord::Status status, std::int64_t volumeTotal, std::int64_t volumeUsed,
                                       std::int64_t newFiles, std::int64_t changedFiles, std::int64_t deletedFiles)
{
    return ScanSession(*this, scanID)
        .finish({.status = status,
                 .roots = roots,
                 .volumeTotal = volumeTotal,
                 .volumeUsed = volumeUsed,
                 .newFiles = newFiles,
                 .changedFiles = changedFiles,
                 .deletedFiles = deletedFiles})
        .totals;
}

void StorageDatabase::logLostFolder(const std::string& path, const std::string& message) noexcept
{
    logEntry(path, message, true);
}

std::int64_t StorageDatabase::deleteSubtree(const std::string& path)
{
    return withCompleteBatch([&](WriteBatch& batch) { return DirectorySync::deleteSubtree(batch, path); });
}

void StorageDatabase::removeItem(const std::string& path)
{
    removeItems({path});
}

void StorageDatabase::removeItems(const std::vector<std::string>& paths)
{
    withCompleteBatch([&](WriteBatch& batch) { ItemRemoval::remove(batch, paths); });
}

void StorageDatabase::logError(const std::string& path, const std::string& message) noexcept
{
    logEntry(path, message, false);
}

void StorageDatabase::logEntry(const std::string& path, const std::string& message, bool lostFolder) noexcept
{
    try {
        withBatch([&](WriteBatch& batch) {
            if (lostFolder) ++folderWriteFailures_;
            ScanErrorLog::log(batch, path, message, nowSeconds());
        });
    } catch (...) {
        // Only the lock itself can throw here; the log never fails towards its callers.
    }
}

std::vector<ScanErrorEntry> StorageDatabase::recentErrors(std::int64_t limit)
{
    return withCommittedRows([&](SQLiteConnection& db) { return ScanErrorLog::recent(db, limit); });
}

void StorageDatabase::clearErrors()
{
    withCommittedRowsToWrite([](SQLiteConnection& db) { db.run("DELETE FROM errors"); });
}

std::vector<FileItem> StorageDatabase::largestFiles(std::int64_t limit, std::optional<StorageCategory> category,
                                                    const std::optional<std::string>& within,
                                                    std::int64_t minimumSize)
{
    return withCommittedRows([&](SQLiteConnection& db) {
        return IndexQueries::largestFiles(db, limit, category, within, minimumSize);
    });
}

std::vector<FileItem> StorageDatabase::recentLargeFiles(double since, std::int64_t minimumSize, std::int64_t limit)
{
    return withCommittedRows(
        [&](SQLiteConnection& db) { return IndexQueries::recentLargeFiles(db, since, minimumSize, limit); });
}

std::vector<FolderItem> StorageDatabase::rootFolders()
{
    return withCommittedRows([](SQLiteConnection& db) { return IndexQueries::rootFolders(db); });
}

std::vector<FolderItem> StorageDatabase::childFolders(std::int64_t folderID, std::int64_t limit)
{
    return withCommittedRows([&](SQLiteConnection& db) { return IndexQueries::childFolders(db, folderID, limit); });
}

std::optional<RecordedItem> StorageDatabase::recordedItem(const std::string& path)
{
    return withCommittedRows([&](SQLiteConnection& db) { return RecordedItem::lookUp(db, path); });
}

std::optional<FolderItem> StorageDatabase::folder(const std::string& path)
{
    return withCommittedRows([&](SQLiteConnection& db) { return IndexQueries::folder(db, path); });
}

std::vector<FolderItem> StorageDatabase::largestFolders(std::int64_t limit, std::int64_t maxDepth)
{
    return withCommittedRows([&](SQLiteConnection& db) { return IndexQueries::largestFolders(db, limit, maxDepth); });
}

std::vector<FolderItem> StorageDatabase::folders(const std::string& name, bool outermostOnly, std::int64_t limit)
{
    return withCommittedRows(
        [&](SQLiteConnection& db) { return IndexQueries::folders(db, name, outermostOnly, limit); });
}

std::vector<FolderItem> StorageDatabase::restrictedFolders(std::int64_t limit)
{
    return withCommittedRows([&](SQLiteConnection& db) { return IndexQueries::restrictedFolders(db, limit); });
}

std::vector<CategoryUsage> StorageDatabase::categoryTotals()
{
    return withCommittedRows([](SQLiteConnection& db) { return IndexQueries::categoryTotals(db); });
}

ScanTotals StorageDatabase::totals()
{
    return withCommittedRows([](SQLiteConnection& db) { return IndexQueries::totals(db); });
}

std::optional<ScanRecord> StorageDatabase::lastScan()
{
    return withCommittedRows([](SQLiteConnection& db) { return IndexQueries::lastScan(db); });
}

void StorageDatabase::recoverInterruptedScans()
{
    withCommittedRowsToWrite(
        [](SQLiteConnection& db) { db.run("UPDATE scans SET status = 'cancelled' WHERE status = 'running'"); });
}

std::vector<StorageHistoryPoint> StorageDatabase::history(std::int64_t limit)
{
    return withCommittedRows([&](SQLiteConnection& db) { return IndexQueries::history(db, limit); });
}

std::vector<FileItem> StorageDatabase::searchFiles(const SearchQuery& query)
{
    return withCommittedRows([&](SQLiteConnection& db) { return SearchQuerySQL(db).files(query); });
}

std::vector<FolderItem> StorageDatabase::searchFolders(const SearchQuery& query)
{
    return withCommittedRows([&](SQLiteConnection& db) { return SearchQuerySQL(db).folders(query); });
}

std::vector<DuplicateCandidateSize> StorageDatabase::duplicateCandidateSizes(std::int64_t minimumSize,
                                                                             const std::optional<std::string>& within,
                                                                             const std::vector<std::string>& excluding,
                                                                             int limit)
{
    return withCommittedRows([&](SQLiteConnection& db) {
        return DuplicateCandidateSQL(db).candidateSizes(minimumSize, within, excluding, limit);
    });
}

std::vector<DuplicateCandidateFile> StorageDatabase::filesWithSize(std::int64_t size,
                                                                   const std::optional<std::string>& within,
                                                                   const std::vector<std::string>& excluding)
{
    return withCommittedRows(
        [&](SQLiteConnection& db) { return DuplicateCandidateSQL(db).files(size, within, excluding); });
}

std::int64_t StorageDatabase::databaseFileSize() const noexcept { return CacheMaintenance::fileSize(path_); }

void StorageDatabase::clearAll()
{
    withCompleteBatch([this](WriteBatch& batch) {
        batch.commit();
        CacheMaintenance::clear(batch);
    });
}
