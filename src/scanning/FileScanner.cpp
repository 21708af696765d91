#include "scanning/FileScanner.h"

#include "index/CaseFolding.h"
#include "index/DirectorySync.h"
#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"
#include "index/StorageDatabase.h"
#include "platform/DescriptorBudget.h"
#include "platform/DescriptorLimit.h"
#include "platform/FileSystem.h"
#include "platform/LargeBlocks.h"
#include "platform/MountPoint.h"
#include "platform/Paths.h"
#include "scanning/SecurityUtils.h"
#include "scanning/StoredRowsReader.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace {

double wallClockNow()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Page cache of each reader's own connection to the cache, in KiB.
constexpr int readerCacheKiB = 512;

// Names the thread as tools such as top and perf show it.
void nameThread(const char* name) { ::pthread_setname_np(::pthread_self(), name); }

std::string systemErrorText(int code) { return std::generic_category().message(code); }

std::string rootProblem(int code)
{
    switch (code) {
    case EPERM:
    case EACCES:
        return "Access restricted";
    case ENOENT:
    case ENOTDIR:
        return "Removed during scan";
    default:
        return systemErrorText(code);
    }
}

// Why a folder that was listed is only known in part.
std::string gapDescription(const ListingGaps& gaps)
{
    if (gaps.listingFailure != 0)
        return "The folder could be listed only in part: " + systemErrorText(gaps.listingFailure);
    const std::uint64_t count = gaps.unreadEntries;
    return std::to_string(count) + (count == 1 ? " item" : " items") +
           " could not be read: " + systemErrorText(gaps.entryFailure);
}

std::string failureDescription(const std::exception& error)
{
    if (const auto* sqlite = dynamic_cast<const SQLiteError*>(&error))
        return sqlite->description();
    return error.what();
}

// A write failure that every later write would meet too: the cache's disk is full or failing.
std::optional<std::string> cacheFault(const std::exception& error, const std::string& cachePath)
{
    const auto* sqlite = dynamic_cast<const SQLiteError*>(&error);
    if (!sqlite)
        return std::nullopt;
    switch (sqlite->code() & 0xff) {
    case SQLITE_FULL:
        return "The disk that holds the scan cache (" + MountPoint::of(cachePath) +
               ") is full, so the scan could not save what it found. Free some space there and scan again.";
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
        return "The scan cache " + cachePath + " could not be written (" + sqlite->description() +
               "), so the scan could not save what it found.";
    default:
        return std::nullopt;
    }
}

// The text of the exception being handled.
std::string currentFailure()
{
    try {
        throw;
    } catch (const std::exception& error) {
        return failureDescription(error);
    } catch (...) {
        return "Unknown failure";
    }
}

} // namespace

// What reading one folder produced.
struct FileScanner::Listing {
    std::vector<ScannedFile> files;
    std::vector<ScannedSubdirectory> subdirectories;
    std::vector<std::string> subdirectoryDiskNames;   // empty where the name is valid
    std::vector<std::uint64_t> subdirectoryInodes;
    std::int64_t countedBytes = 0;
    std::vector<std::size_t> links;
    std::vector<HardLinkTracker::Key> keys;
    bool repairedNames = false;   // an entry's name could not be kept as it is on disk
};

// One folder read, on its way from a reader to the writer.
struct FileScanner::ReadFolder {
    DirectorySnapshot snapshot;                 // its ids come from parentSlot when that is set
    std::shared_ptr<FolderSlot> parentSlot;
    std::shared_ptr<FolderSlot> slot;           // for the jobs of its subfolders
    std::int64_t countedBytes = 0;              // of the files that are not hard links
    std::vector<std::size_t> links;             // positions in snapshot.files
    std::vector<HardLinkTracker::Key> keys;     // the same order
    std::optional<DirectoryReadError> failure;  // of the listing; the snapshot is then empty
    ListingGaps gaps;                           // of a listing that succeeded in part
    std::optional<Figures> countedBefore;       // what a resumed scan's counters hold of it already
    std::optional<FolderDifferences> read;      // its listing set against the stored rows by the reader
    std::optional<StoredFolders::Entry> stored; // its place among the stored rows in brief
    // Whether its rows once synced are what its listing says, and then their digest; that of a
    // folder holding links is taken once their bytes are settled.
    bool digestKnown = false;
    std::uint64_t digest = StoredFolders::unknownDigest;
    std::size_t reader = 0;                     // the worker that read it
};

// One reader's own state. What it read goes to the writer a few folders at a time, and the jobs
// of the subfolders it found stay with it meanwhile: another worker may take a job only once
// the folder that holds it is with the writer, which writes a folder before its subfolders.
struct FileScanner::Worker {
    // Folders handed over at once, at most: each hand-over takes the queue's lock and may
    // wake the writer.
    static constexpr std::size_t foldersPerHandover = 16;
    static constexpr std::size_t entriesPerHandover = 4096;

    std::size_t index = 0;
    // Its connection to the cache, if any, through which it sets listings against stored rows.
    StoredRowsReader* stored = nullptr;
    std::vector<ReadFolder> read;   // in reading order
    std::size_t readEntries = 0;
    std::vector<Job> kept;

    // Ends the open read of the cache, if any: the writer may wait for every read to end.
    void endRead() const
    {
        if (stored)
            stored->end();
    }
    bool handoverDue() const { return read.size() >= foldersPerHandover || readEntries >= entriesPerHandover; }
    // Hands what it read to the writer, waiting for room without a read open.
    void handOver(HandoffQueue<ReadFolder>& handoff)
    {
        handoff.pushAll(read, readEntries, [this] { endRead(); });
        readEntries = 0;
    }
};

// The state one scan shares between its readers and its writer.
struct FileScanner::Run {
    explicit Run(std::size_t handoffCapacity) : handoff(handoffCapacity, handoffEntryBudget) {}

    std::int64_t scanID = 0;
    bool resuming = false;
    bool fillsEmptyIndex = false;   // nothing stored to compare a listing with
    // Each worker's own connection to the cache, when it can have one.
    std::vector<std::unique_ptr<StoredRowsReader>> readers;
    // The stored rows in brief, when there are any to compare listings with; the workers read
    // them before they take their first jobs.
    std::unique_ptr<StoredFolders::Loading> loading;
    std::optional<StoredFolders> storedFolders;
    // The rows in brief of what this scan syncs, kept for the next scan once this one completes.
    // The readers take their listings' digests under `digestSeed`, that of the stored rows in
    // brief when there are any.
    std::optional<StoredFolders::Recording> recording;
    std::uint64_t digestSeed = 0;
    std::vector<DirectoryWorkQueue::Job> rootJobs;   // until they find their places there
    std::vector<std::string> exclusions;
    std::stop_token stop;
    HandoffQueue<ReadFolder> handoff;
    // The descriptors of the open folders whose subfolders wait to be read.
    std::shared_ptr<DescriptorBudget> budget;
    std::vector<std::string> roots;
    DirectoryWorkQueue* queue = nullptr;

    // Set by the first write that failed for a reason every later write would meet too; the
    // walk stops there and the scan ends failed, saying why.
    std::optional<std::string> cacheFault;
    // The scan's file changes: those the cache has stored, and those in the open batch.
    struct Changes {
        std::int64_t newFiles = 0;
        std::int64_t changedFiles = 0;
        std::int64_t deletedFiles = 0;
    };
    Changes stored;
    Changes pending;
    // Batches lost so far, as last seen; once one is lost the counters claim too much.
    std::uint64_t lostBatchesSeen = 0;
    bool claimsStoredOnly = false;

    // The roots under which folders were lost, for the scan's closing entry in the error log.
    void noteLost(const std::string& path)
    {
        std::lock_guard guard(lostLock);
        for (const auto& root : roots)
            if (Paths::isWithin(path, root))
                rootsWithLosses.insert(root);
    }
    std::mutex lostLock;
    std::set<std::string> rootsWithLosses;

    // Folders holding multiply linked files wait with their sync until every
    // link of the walk is known (see HardLinkTracker::record). The writer's own.
    struct Waiting {
        DirectorySnapshot snapshot;
        std::vector<std::size_t> links;
        std::vector<HardLinkTracker::Key> keys;
        std::int64_t otherBytes = 0;
        std::optional<Figures> countedBefore;
        std::optional<StoredFolders::Entry> stored;
        bool digestKnown = false;
    };
    std::vector<Waiting> waiting;
    // Written folders on their way back to the reader that made them, which frees them:
    // freeing memory of another thread's arena waits for that thread's own allocations, and
    // the writer is the one who must not wait.
    struct ReturnBin {
        std::mutex lock;
        std::vector<ReadFolder> folders;
    };
    std::vector<std::unique_ptr<ReturnBin>> bins;

    // Folders synced with nothing left to write but their visit stamp, written together.
    std::vector<std::int64_t> stampIDs;
    std::vector<std::string> stampPaths;
};

FileScanner::FileScanner(StorageDatabase& database, ScanConfiguration configuration)
    : FileScanner(database, std::move(configuration), FileSystem::standard())
{
}

FileScanner::FileScanner(StorageDatabase& database, ScanConfiguration configuration, const FileSystem& fileSystem,
                         std::size_t handoffCapacity)
    : database_(database),
      configuration_(std::move(configuration)),
      fileSystem_(fileSystem),
      handoffCapacity_(handoffCapacity),
      reader_(fileSystem),
      categorizer_(CaseFolding::lowercased(configuration_.homeDirectory))
{
}

void FileScanner::pause()
{
    pauseGate_.pause();
    counters_.pause();
}

void FileScanner::resume()
{
    pauseGate_.resume();
    counters_.resume();
}

void FileScanner::continueFrom(const ScanProgress& earlier)
{
    earlier_ = earlier;
}

ScanProgress FileScanner::earlierFigures(std::int64_t scanID) const
{
    ScanProgress figures = earlier_.value_or(ScanProgress{});
    StorageDatabase::VisitedTotals visited;
    try {
        visited = database_.visitedTotals(scanID);
    } catch (const std::exception&) {
        return figures;   // the caller's figures, or none: the scan still goes on
    }
    // The index holds what the folders synced so far add up to, whichever run synced them;
    // the folders each run reads again are then set against their stored figures.
    figures.foldersScanned = visited.folders;
    figures.filesScanned = visited.files;
    figures.bytesAnalyzed = visited.bytes;
    figures.restrictedFolders = visited.restrictedFolders;
    figures.newFiles = visited.newFiles;
    figures.changedFiles = visited.changedFiles;
    figures.deletedFiles = visited.deletedFiles;
    return figures;
}

void FileScanner::loseFolder(const std::string& path, const std::string& message, Run& run)
{
    counters_.folderFailed();
    database_.logLostFolder(path, message);
    run.noteLost(path);
}

std::vector<std::string> FileScanner::exclusionList(const std::vector<std::string>& excludedPaths)
{
    std::vector<std::string> list;
    list.reserve(excludedPaths.size());
    for (const auto& path : excludedPaths)
        list.push_back(CaseFolding::lowercased(SecurityUtils::normalized(path, false)));
    return list;
}

bool FileScanner::isExcluded(std::string_view path, const std::vector<std::string>& exclusions)
{
    if (exclusions.empty())
        return false;
    const std::string lowered = CaseFolding::lowercased(path);
    for (const auto& entry : exclusions)
        if (Paths::isWithin(lowered, entry))
            return true;
    return false;
}

ScanOutcome FileScanner::scan(std::optional<std::int64_t> resumeScanID, const VolumeUsageProvider& volumeUsage,
                              const ProgressHandler& progress, std::stop_token stop)
{
    LargeBlocks::keepMappedApart();
    const double startedAt = wallClockNow();
    const auto startInstant = std::chrono::steady_clock::now();
    const auto report = [&](ScanPhase phase) {
        ScanProgress copy = counters_.snapshot();
        copy.phase = std::move(phase);
        if (progress)
            progress(copy);
        return copy;
    };

    const std::vector<std::string> roots = configuration_.normalizedRoots(fileSystem_);
    Run run(handoffCapacity_);
    run.exclusions = exclusionList(configuration_.excludedPaths);
    run.resuming = resumeScanID.has_value();
    run.stop = stop;
    run.roots = roots;
    run.budget = std::make_shared<DescriptorBudget>(DescriptorLimit::folderBudget(4, 16, 4096));
    counters_.reset(startedAt, run.resuming, resumeScanID ? earlierFigures(*resumeScanID) : ScanProgress{});
    report(ScanPhase::Kind::preparing);

    if (resumeScanID) {
        database_.markScanResumed(*resumeScanID);
        run.scanID = *resumeScanID;
    } else {
        run.scanID = database_.beginScan(roots);
        run.fillsEmptyIndex = database_.beginBulkLoad();
    }
    // What the last scan synced, in brief, unless anything else wrote to the cache since.
    std::optional<StoredFolders> kept = database_.takeKeptFolders();
    run.digestSeed = kept ? kept->seed() : StoredFolders::newSeed();
    if (!run.resuming)
        run.recording.emplace(run.digestSeed);

    DirectoryWorkQueue queue;
    run.queue = &queue;
    {
        const ScanProgress start = counters_.snapshot();
        run.stored = {start.newFiles, start.changedFiles, start.deletedFiles};
        run.lostBatchesSeen = database_.lostBatches();
    }
    const int workerCount = std::clamp(configuration_.maxConcurrency, 1, maximumWorkers);
    openReaders(run, static_cast<std::size_t>(workerCount));
    std::vector<Job> rootJobs;
    for (const auto& root : roots) {
        const std::string resolved = fileSystem_.realPath(root).value_or(root);
        FileStatus status;
        if (const int failure = fileSystem_.linkStatus(resolved, status); failure != 0) {
            database_.logError(root, rootProblem(failure));
            continue;
        }
        if ((status.mode & S_IFMT) != S_IFDIR) {
            database_.logError(root, "Scan location is not a folder");
            continue;
        }
        const std::int64_t id = database_.ensureRoot(root, status.modified);
        rootJobs.push_back(Job{root, Paths::lastComponent(root), std::nullopt, id, 0, status.device, {}, nullptr,
                               status.inode, nullptr, nullptr, std::nullopt});
    }
    // Where there are stored rows, the roots' jobs wait for them in brief, to find their places there.
    if (!startLoading(run, static_cast<std::size_t>(workerCount), queue, rootJobs, std::move(kept)))
        queue.push(std::move(rootJobs));

    std::jthread ticker([&](std::stop_token tickerStop) {
        nameThread("scan-ticker");
        std::mutex sleepLock;
        std::condition_variable_any wake;
        std::unique_lock lock(sleepLock);
        while (!tickerStop.stop_requested()) {
            if (progress)
                progress(counters_.snapshot());
            wake.wait_for(lock, tickerStop, std::chrono::milliseconds(250), [] { return false; });
        }
    });

    {
        // Pause and cancel stop the readers only: the writer drains whatever was read.
        std::thread writer([&] {
            nameThread("scan-writer");
            write(run);
        });
        std::stop_callback onCancel(stop, [&] { queue.cancel(); });
        std::vector<std::thread> workers;
        workers.reserve(static_cast<std::size_t>(workerCount));
        for (int i = 0; i < workerCount; ++i)
            run.bins.push_back(std::make_unique<Run::ReturnBin>());
        for (int i = 0; i < workerCount; ++i)
            workers.emplace_back([&, i] {
                nameThread("scan-reader");
                work(queue, run, static_cast<std::size_t>(i));
            });
        for (auto& worker : workers)
            worker.join();
        run.handoff.close();
        writer.join();
    }
    // Once the folders that waited for their links are synced, the stored rows in brief are not
    // needed further, and the finish wants room for every folder's figures. The readers'
    // connections read the folder rows for it.
    run.loading.reset();
    for (auto& reader : run.readers) {
        reader->end();
        // Their pages are of no use to the finish's reads, which take each page once.
        sqlite3_db_release_memory(reader->connection().handle());
    }
    const bool stopped = stop.stop_requested();
    if (!run.cacheFault)
        syncFoldersWithHardLinks(run);
    run.storedFolders.reset();

    ticker.request_stop();
    ticker.join();
    report(ScanPhase::Kind::finalizing);
    if (run.cacheFault)
        return endWithCacheFault(run, roots, volumeUsage, progress, startInstant);

    // A scan that lost folders of its own accord ends as an incomplete one, which its resume
    // completes: the lost folders are the ones it reads again.
    const std::int64_t lost = database_.lostFolderWrites(run.scanID);
    if (lost > 0 && !stopped) {
        const std::set<std::string> places = run.rootsWithLosses.empty()
            ? std::set<std::string>(roots.begin(), roots.end())
            : run.rootsWithLosses;
        for (const auto& place : places)
            database_.logError(place, std::string(incompleteScanMessage));
    }
    const bool cancelled = stopped || lost > 0;

    const VolumeUsage usage = volumeUsage ? volumeUsage() : VolumeUsage{};
    ScanProgress counted = counters_.snapshot();
    noteLostBatches(run);
    if (run.claimsStoredOnly) {
        // The finish stores what waits in the open batch; nothing that was lost is claimed.
        counted.newFiles = run.stored.newFiles + run.pending.newFiles;
        counted.changedFiles = run.stored.changedFiles + run.pending.changedFiles;
        counted.deletedFiles = run.stored.deletedFiles + run.pending.deletedFiles;
    }
    const auto status = cancelled ? ScanRecord::Status::cancelled : ScanRecord::Status::completed;
    ScanTotals totals;
    try {
        std::vector<SQLiteConnection*> helpers;
        for (auto& reader : run.readers)
            helpers.push_back(&reader->connection());
        if (!helpers.empty()) {
            // What the helpers read must be committed; the finish's own writes are not.
            database_.commit();
            settleStored(run, true);
        }
        totals = database_.finishScan(run.scanID, roots, status, usage.total, usage.used, counted.newFiles,
                                      counted.changedFiles, counted.deletedFiles, helpers);
    } catch (const std::exception& error) {
        // The finish and the batch it closed are gone; the scan ends failed if it can say so.
        run.cacheFault = cacheFault(error, database_.path());
        if (!run.cacheFault)
            throw;
        settleStored(run, false);
        return endWithCacheFault(run, roots, volumeUsage, progress, startInstant);
    }
    run.readers.clear();
    if (run.recording && status == ScanRecord::Status::completed) {
        try {
            database_.keepFolders(std::move(*run.recording).finish());
        } catch (const std::exception&) {
            // The next scan reads them from the cache.
        }
    }
    run.recording.reset();

    ScanOutcome outcome;
    outcome.scanID = run.scanID;
    outcome.status = status;
    outcome.totals = totals;
    outcome.progress = counters_.snapshot();
    outcome.progress.phase = cancelled ? ScanPhase::Kind::cancelled : ScanPhase::Kind::completed;
    outcome.progress.newFiles = counted.newFiles;
    outcome.progress.changedFiles = counted.changedFiles;
    outcome.progress.deletedFiles = counted.deletedFiles;
    if (progress)
        progress(outcome.progress);
    outcome.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - startInstant).count();
    outcome.lostFolders = lost;
    return outcome;
}

ScanOutcome FileScanner::endWithCacheFault(Run& run, const std::vector<std::string>& roots,
                                          const VolumeUsageProvider& volumeUsage, const ProgressHandler& progress,
                                          std::chrono::steady_clock::time_point startInstant)
{
    run.readers.clear();
    // What the open batch holds counts only once it is stored.
    try {
        database_.commit();
        settleStored(run, true);
    } catch (const std::exception&) {
        settleStored(run, false);
    }
    ScanProgress final = counters_.snapshot();
    final.newFiles = run.stored.newFiles;
    final.changedFiles = run.stored.changedFiles;
    final.deletedFiles = run.stored.deletedFiles;
    final.phase = ScanPhase::failed(*run.cacheFault);
    const VolumeUsage usage = volumeUsage ? volumeUsage() : VolumeUsage{};
    ScanOutcome outcome;
    // Counted before the finish, which forgets the scan's write failures.
    outcome.lostFolders = database_.lostFolderWrites(run.scanID);
    try {
        outcome.totals = database_.finishScan(run.scanID, roots, ScanRecord::Status::failed, usage.total, usage.used,
                                              final.newFiles, final.changedFiles, final.deletedFiles);
    } catch (const std::exception&) {
        // The record stays open and the next start closes it; the reason is what matters.
        throw std::runtime_error(*run.cacheFault);
    }
    if (progress)
        progress(final);
    outcome.scanID = run.scanID;
    outcome.status = ScanRecord::Status::failed;
    outcome.progress = std::move(final);
    outcome.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - startInstant).count();
    return outcome;
}

std::unique_ptr<StoredRowsReader> FileScanner::storedRowsReader() const
{
    if (database_.isReadOnly())
        return nullptr;
    try {
        auto db = std::make_unique<SQLiteConnection>(database_.path(), SQLiteConnection::Access::readAlongside);
        // Room for the upper levels of the indexes and tables it looks folders up in; a
        // folder's own rows lie together, a page or two read once.
        db->execute("PRAGMA cache_size=-" + std::to_string(readerCacheKiB) + ";");
        return std::make_unique<StoredRowsReader>(std::move(db));
    } catch (const std::exception&) {
        return nullptr;   // the writer reads the stored rows itself
    }
}

void FileScanner::giveBack(std::vector<ReadFolder>& written, Run& run)
{
    for (auto& folder : written) {
        auto& bin = *run.bins[folder.reader];
        std::lock_guard guard(bin.lock);
        bin.folders.push_back(std::move(folder));
    }
}

void FileScanner::openReaders(Run& run, std::size_t workers) const
{
    if (run.fillsEmptyIndex)
        return;
    for (std::size_t i = 0; i < workers; ++i) {
        run.readers.push_back(storedRowsReader());
        if (!run.readers.back()) {
            run.readers.pop_back();   // the writer reads the stored rows of the others itself
            return;
        }
    }
}

bool FileScanner::startLoading(Run& run, std::size_t workers, DirectoryWorkQueue& queue,
                               std::vector<Job>& rootJobs, std::optional<StoredFolders> kept) const
{
    if (run.readers.size() != workers)
        return false;
    if (kept) {
        kept->setRewritesSeen(database_.rewritesCommitted());
        run.storedFolders = std::move(kept);
        for (auto& job : rootJobs)
            job.stored = run.storedFolders->root(*job.folderID);
        return false;
    }
    const auto done = [&run, &queue](std::optional<StoredFolders> loaded) {
        run.storedFolders = std::move(loaded);
        if (run.storedFolders)
            for (auto& job : run.rootJobs)
                job.stored = run.storedFolders->root(*job.folderID);
        queue.push(std::move(run.rootJobs));
    };
    try {
        run.loading = std::make_unique<StoredFolders::Loading>(workers, run.readers.front()->connection(),
                                                               database_.rewritesCommitted(), run.digestSeed, done);
    } catch (const std::exception&) {
        return false;
    }
    run.rootJobs = std::move(rootJobs);
    return true;
}

void FileScanner::work(DirectoryWorkQueue& queue, Run& run, std::size_t reader)
{
    Worker worker;
    worker.index = reader;
    worker.stored = reader < run.readers.size() ? run.readers[reader].get() : nullptr;
    if (run.loading)
        run.loading->take(reader, worker.stored->connection());
    const std::function<void()> endRead = [&] { worker.endRead(); };
    auto& bin = *run.bins[reader];
    std::vector<ReadFolder> written;
    std::optional<Job> job = queue.next();
    while (job) {
        {
            std::lock_guard guard(bin.lock);
            written.swap(bin.folders);
        }
        written.clear();
        if (run.stop.stop_requested()) {
            worker.handOver(run.handoff);
            worker.endRead();
            queue.complete();
            return;
        }
        // A folder given up here is neither synced nor entered, so the scan must not take
        // its stored rows for gone.
        std::vector<Job> children;
        try {
            children = process(*job, run, worker);
        } catch (...) {
            worker.endRead();   // the loss is logged under the writer's lock
            loseFolder(job->path, currentFailure(), run);
        }
        job.reset();   // its folder handles go before this worker waits for the next
        for (auto& child : children)
            worker.kept.push_back(std::move(child));
        // Its own subfolders first, as the walk goes deeper; the others get them once their
        // parents are with the writer.
        if (!worker.kept.empty() && !worker.handoverDue() && !queue.hasWaitingWorkers()) {
            job = std::move(worker.kept.back());
            worker.kept.pop_back();
            continue;
        }
        worker.handOver(run.handoff);
        job = queue.completeAndNext(std::move(worker.kept), endRead);
        worker.kept.clear();
    }
}

std::optional<std::vector<FileScanner::Job>> FileScanner::takeFromIndex(const Job& job, Run& run,
                                                                      std::map<std::string, std::int64_t>& storedChildren,
                                                                      std::optional<Figures>& countedBefore)
{
    std::optional<StorageDatabase::VisitedFolder> visited;
    try {
        visited = database_.visitedChildren(*job.folderID, run.scanID);
    } catch (const std::exception&) {
        return std::nullopt;   // read the folder as if it had not been visited
    }
    // Which link of a file carries its bytes is settled among the links this scanner meets,
    // so a folder holding links is read again.
    if (!visited)
        return std::nullopt;
    // Stored paths hold repaired names that cannot be opened; such a folder is read again.
    const auto repaired = [](const StorageDatabase::ChildFolder& child) {
        return SecurityUtils::hasRepairedName(child.path);
    };
    // Either way its figures are in the earlier ones the counters started from.
    countedBefore = Figures{visited->files, visited->bytes};
    if (visited->linkedFiles > 0 || std::any_of(visited->children.begin(), visited->children.end(), repaired)) {
        // Its subfolders keep their ids, so that those this scan has synced are not read again.
        for (const auto& child : visited->children)
            storedChildren.emplace(child.name, child.id);
        return std::nullopt;
    }
    std::vector<Job> jobs;
    for (const auto& child : visited->children) {
        if (isExcluded(child.path, run.exclusions))
            continue;
        const auto stored = run.storedFolders && job.stored ? run.storedFolders->child(*job.stored, child.name)
                                                            : std::nullopt;
        jobs.push_back(Job{child.path, child.name, job.folderID, child.id, job.depth + 1, job.device, {}, nullptr, 0,
                           nullptr, nullptr, stored});
    }
    return jobs;
}

std::vector<FileScanner::Job> FileScanner::process(const Job& job, Run& run, Worker& worker)
{
    StoredRowsReader* const stored = worker.stored;
    const std::function<void()> endRead = [&] { worker.endRead(); };
    // What it read goes to the writer before it waits, so that a pause or a stall holds none back.
    const std::function<void()> beforeWait = [&] {
        worker.handOver(run.handoff);
        worker.endRead();
    };
    pauseGate_.waitIfPaused(run.stop, beforeWait);
    if (run.stop.stop_requested())
        return {};
    // The writer drops what lies below a folder it failed to write; reading it is wasted.
    if (job.parentSlot && job.parentSlot->failed.load(std::memory_order_relaxed))
        return {};
    counters_.folderStarted(job.path);

    std::map<std::string, std::int64_t> storedChildren;
    std::optional<Figures> countedBefore;
    if (run.resuming && job.folderID) {
        endRead();   // the index is read under the writer's lock
        if (auto jobs = takeFromIndex(job, run, storedChildren, countedBefore))
            return std::move(*jobs);
    }

    const StorageCategorizer::FolderContext context = categorizer_.context(job.path);
    const std::string prefix = job.path == "/" ? std::string("/") : job.path + "/";

    Listing listing;
    std::string childPath;
    const FolderLocation location{job.parent,     job.pathOnDisk(), !job.parent && job.depth == 0,
                                  job.device,     job.inode,        job.parent ? nullptr : run.budget};
    FolderRead opened;
    const DirectoryReader::Visitor visit = [&](const RawDirectoryEntry& entry) {
        if (!entry.hasValidName)
            listing.repairedNames = true;
        switch (entry.kind) {
        case RawDirectoryEntry::Kind::other:
            return;
        case RawDirectoryEntry::Kind::directory:
            if (entry.device != job.device)
                return;
            if (!run.exclusions.empty() && isExcluded(childPath.assign(prefix).append(entry.name), run.exclusions))
                return;
            listing.subdirectories.push_back(ScannedSubdirectory{entry.name, entry.modified});
            listing.subdirectoryDiskNames.push_back(entry.diskName);
            listing.subdirectoryInodes.push_back(entry.inode);
            return;
        case RawDirectoryEntry::Kind::file:
        case RawDirectoryEntry::Kind::symlink:
            break;
        }
        const bool isLink = entry.kind == RawDirectoryEntry::Kind::symlink;
        // Room for a small folder's files at its first file, and none for a folder without files.
        if (listing.files.empty())
            listing.files.reserve(16);
        const std::size_t position = listing.files.size();
        ScannedFile& file = listing.files.emplace_back();
        file.name = entry.name;
        if (entry.name.front() == '.')
            file.flags.insert(FileItem::Flags::hidden);
        if (isLink)
            file.flags.insert(FileItem::Flags::symlink);
        if (!entry.hasValidName)
            file.flags.insert(FileItem::Flags::invalidName);
        if (!isLink)
            file.fileExtension = CaseFolding::lowercased(Paths::extension(entry.name));
        file.size = entry.size;
        file.allocatedSize = entry.allocatedSize;
        file.countedAllocatedSize = entry.allocatedSize;
        if (!isLink && entry.linkCount >= 2) {
            file.flags.insert(FileItem::Flags::hardLink);
            file.inode = entry.inode;
            childPath.assign(prefix).append(entry.name);
            hardLinkTracker_.record(entry.device, entry.inode, childPath);
            listing.links.push_back(position);
            listing.keys.push_back(HardLinkTracker::Key{entry.device, entry.inode});
        } else {
            listing.countedBytes += entry.allocatedSize;
        }
        file.modified = entry.modified;
        file.created = entry.created;
        file.accessed = entry.accessed;
        file.category = StorageCategorizer::category(file.fileExtension, context);
    };
    const auto failure = reader_.readPatiently(location, visit, opened, run.stop, beforeWait);
    if (failure && failure->lacksDescriptors()) {
        if (!run.stop.stop_requested()) {
            endRead();
            loseFolder(job.path, systemErrorText(failure->code()), run);
        }
        return {};
    }

    if (failure) {
        if (failure->kind() == DirectoryReadError::Kind::vanished)
            return {};
        listing = Listing();
    }
    const auto above = job.parent || job.depth == 0 || job.inodesAbove ? job.inodesAbove : inodesAbove(job);
    if (!failure)
        dropLoops(job, opened, above.get(), listing);

    ReadFolder folder;
    folder.slot = std::make_shared<FolderSlot>();
    std::vector<Job> children = childJobs(job, listing, folder.slot, opened.handle, above,
                                          job.stored && run.storedFolders ? &*run.storedFolders : nullptr);
    for (auto& child : children) {
        if (const auto stored = storedChildren.find(child.name); stored != storedChildren.end()) {
            child.parentID = job.folderID;
            child.folderID = stored->second;
        }
    }
    DirectorySnapshot& snapshot = folder.snapshot;
    snapshot.path = job.path;
    snapshot.name = job.name;
    snapshot.parentID = job.parentID;
    snapshot.folderID = job.folderID;
    snapshot.depth = job.depth;
    snapshot.modified = opened.self ? opened.self->modified : 0.0;
    // Entries it holds but that could not be read leave it known in part, like a refused one.
    snapshot.isRestricted = failure.has_value() || opened.gaps.any();
    snapshot.category = context.forcedCategory.value_or(context.fallbackCategory.value_or(StorageCategory::other));
    snapshot.files = std::move(listing.files);
    snapshot.subdirectories = std::move(listing.subdirectories);
    folder.parentSlot = job.parentSlot;
    folder.countedBytes = listing.countedBytes;
    folder.links = std::move(listing.links);
    folder.keys = std::move(listing.keys);
    folder.failure = failure;
    if (!failure)
        folder.gaps = opened.gaps;
    folder.countedBefore = countedBefore;
    folder.reader = worker.index;
    folder.stored = job.stored;
    // A folder holding links is synced after the walk, against the rows as they are then.
    const bool compared = stored && folder.links.empty() && !snapshot.isNewRow;
    const bool inBrief = compared && run.storedFolders && job.stored;
    // Rows of a folder known in part, or under repaired names, may differ from its listing.
    folder.digestKnown = !snapshot.isRestricted && !listing.repairedNames;
    std::uint64_t digest = StoredFolders::unknownDigest;
    if ((run.recording && folder.links.empty()) || inBrief)
        digest = StoredFolders::digest(run.digestSeed, snapshot);
    if (folder.digestKnown)
        folder.digest = digest;
    if (compared) {
        // The stored rows in brief tell an unchanged folder without a query; any other is
        // compared with the rows themselves.
        if (inBrief)
            folder.read = run.storedFolders->unchanged(*job.stored, snapshot, digest);
        if (!folder.read) {
            try {
                const std::uint64_t rewrites = stored->begin(database_.rewritesCommitted());
                folder.read = DirectorySync::compare(stored->connection(), snapshot, rewrites);
                stored->folderCompared();
            } catch (const std::exception&) {
                endRead();
                folder.read.reset();   // the writer compares it itself
            }
        }
    }

    // Handed over before any other worker can read its subfolders, so the writer meets it before them.
    worker.readEntries += 1 + folder.snapshot.files.size() + folder.snapshot.subdirectories.size();
    worker.read.push_back(std::move(folder));
    return children;
}

FileScanner::InodesAbove FileScanner::inodesAbove(const Job& job) const
{
    auto inodes = std::make_shared<std::vector<std::uint64_t>>(static_cast<std::size_t>(job.depth), 0);
    std::string path = job.pathOnDisk();
    for (int depth = job.depth - 1; depth >= 0; --depth) {
        const auto slash = path.rfind('/');
        if (slash == std::string::npos)
            break;
        path.resize(std::max<std::size_t>(slash, 1));
        // The root may be reached through links, as the scan opened it.
        const std::string resolved = depth == 0 ? fileSystem_.realPath(path).value_or(path) : path;
        FileStatus status;
        if (fileSystem_.linkStatus(resolved, status) == 0 && status.device == job.device)
            (*inodes)[static_cast<std::size_t>(depth)] = status.inode;
    }
    return inodes;
}

void FileScanner::dropLoops(const Job& job, const FolderRead& opened, const std::vector<std::uint64_t>* inodesAbove,
                            Listing& listing)
{
    const auto stepsUp = [&](std::uint64_t inode) -> std::optional<int> {
        if (opened.handle)
            if (const auto steps = opened.handle->stepsUpTo(job.device, inode))
                return steps;
        if (inodesAbove)
            for (std::size_t depth = 0; depth < inodesAbove->size(); ++depth)
                if ((*inodesAbove)[depth] == inode)
                    return job.depth - static_cast<int>(depth);
        return std::nullopt;
    };
    for (std::size_t i = listing.subdirectories.size(); i-- > 0;) {
        const auto steps = stepsUp(listing.subdirectoryInodes[i]);
        if (!steps)
            continue;
        std::string ancestor = job.path;
        for (int step = 0; step < *steps; ++step)
            ancestor.resize(std::max<std::size_t>(ancestor.rfind('/'), 1));
        counters_.folderFailed();
        database_.logError(DirectorySync::childPath(job.path, listing.subdirectories[i].name),
                           "File system loop detected: the same folder as " + ancestor + "; not entered");
        listing.subdirectories.erase(listing.subdirectories.begin() + static_cast<std::ptrdiff_t>(i));
        listing.subdirectoryDiskNames.erase(listing.subdirectoryDiskNames.begin() + static_cast<std::ptrdiff_t>(i));
        listing.subdirectoryInodes.erase(listing.subdirectoryInodes.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

std::vector<FileScanner::Job> FileScanner::childJobs(const Job& job, const Listing& listing,
                                                     const std::shared_ptr<FolderSlot>& slot,
                                                     const std::shared_ptr<const FolderHandle>& handle,
                                                     const InodesAbove& inodesAbove, const StoredFolders* stored)
{
    const auto& subdirectories = listing.subdirectories;
    std::vector<Job> jobs;
    jobs.reserve(subdirectories.size());
    // The sync keeps the first of names that repeat once repaired and logs the others;
    // reading those would fill the first one's row.
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < subdirectories.size(); ++i) {
        const auto& subdirectory = subdirectories[i];
        if (!names.insert(subdirectory.name).second)
            continue;
        Job child{DirectorySync::childPath(job.path, subdirectory.name),
                  subdirectory.name,
                  std::nullopt,
                  std::nullopt,
                  job.depth + 1,
                  job.device,
                  {},
                  handle,
                  listing.subdirectoryInodes[i],
                  slot,
                  inodesAbove,
                  stored ? stored->child(*job.stored, subdirectory.name) : std::nullopt};
        const std::string& diskName = listing.subdirectoryDiskNames[i];
        if (!job.diskPath.empty() || !diskName.empty())
            child.diskPath = DirectorySync::childPath(job.pathOnDisk(), diskName.empty() ? subdirectory.name : diskName);
        jobs.push_back(std::move(child));
    }
    return jobs;
}

void FileScanner::write(Run& run)
{
    std::vector<ReadFolder> batch;
    for (;;) {
        if (!run.handoff.takeAllWithin(idleCommitDelay, batch)) {
            // Nothing to write for a while, as in a pause: what was written is stored and the
            // cache's write lock let go, so that the wait holds nothing up.
            writeStamps(run);
            try {
                noteLostBatches(run);
                database_.commit();
                settleStored(run, true);
            } catch (const std::exception&) {
                noteLostBatches(run);   // the next commit tries again
            }
            continue;
        }
        if (batch.empty()) {
            writeStamps(run);
            return;
        }
        for (auto& folder : batch)
            writeFolder(folder, run);
        // Most batches hold a few folders: their stamps wait for a statement's worth, and a
        // folder whose stamp is not stored yet is only read again by a resume.
        if (run.stampIDs.size() >= DirectorySync::stampChunk)
            writeStamps(run);
        giveBack(batch, run);
    }
}

void FileScanner::writeStamps(Run& run)
{
    if (run.stampIDs.empty())
        return;
    try {
        database_.stampVisited(run.stampIDs, run.scanID);
    } catch (const std::exception& error) {
        // Their subfolders are on their way already; the scan ends incomplete and its resume
        // reads these again.
        for (const auto& path : run.stampPaths)
            loseFolder(path, failureDescription(error), run);
        noteWriteFailure(error, run);
    }
    run.stampIDs.clear();
    run.stampPaths.clear();
}

void FileScanner::writeFolder(ReadFolder& folder, Run& run)
{
    DirectorySnapshot& snapshot = folder.snapshot;
    snapshot.holdsNoFiles = run.fillsEmptyIndex;
    try {
        if (const auto& parent = folder.parentSlot) {
            if (parent->failed.load(std::memory_order_relaxed) || !parent->folderID) {
                folder.slot->failed.store(true, std::memory_order_relaxed);
                return;
            }
            snapshot.parentID = parent->folderID;
            if (const auto found = parent->childIDs.find(snapshot.name); found != parent->childIDs.end()) {
                snapshot.folderID = found->second;
                snapshot.isNewRow =
                    std::binary_search(parent->newChildIDs.begin(), parent->newChildIDs.end(), found->second);
            }
        }
        if (folder.failure) {
            if (folder.failure->kind() == DirectoryReadError::Kind::accessDenied) {
                counters_.folderRefused();
            } else {
                counters_.folderFailed();
                database_.logError(snapshot.path, systemErrorText(folder.failure->code()));
            }
        } else if (folder.gaps.any()) {
            // A folder that can be listed but not searched is refused; any other gap is a fault.
            const bool refused = folder.gaps.listingFailure == 0 &&
                                 DirectoryReadError::fromErrno(folder.gaps.entryFailure).kind() ==
                                     DirectoryReadError::Kind::accessDenied;
            if (refused) {
                counters_.folderRefused();
            } else {
                counters_.folderFailed();
                database_.logError(snapshot.path, gapDescription(folder.gaps));
            }
        }
        if (!folder.links.empty()) {
            deferFolderWithLinks(folder, run);
            return;
        }
        auto result = sync(snapshot, run, folder.read ? &*folder.read : nullptr);
        if (result) {
            if (folder.countedBefore) {
                counters_.folderSyncedAgain(*result);
                counters_.settle(0, static_cast<std::int64_t>(snapshot.files.size()) - folder.countedBefore->files,
                                 folder.countedBytes - folder.countedBefore->bytes);
            } else {
                counters_.folderSynced(static_cast<std::int64_t>(snapshot.files.size()), folder.countedBytes, *result);
            }
        } else {
            folder.slot->failed.store(true, std::memory_order_relaxed);
            return;
        }
        if (folder.read && folder.read->stampLeft) {
            run.stampIDs.push_back(result->folderID);
            run.stampPaths.push_back(snapshot.path);
        }
        if (run.recording)
            run.recording->add(result->folderID, snapshot.parentID, snapshot.name, folder.digest);
        folder.slot->folderID = result->folderID;
        folder.slot->childIDs = std::move(result->childIDs);
        folder.slot->newChildIDs = std::move(result->newChildIDs);
    } catch (const std::exception& error) {
        folder.slot->failed.store(true, std::memory_order_relaxed);
        loseFolder(snapshot.path, failureDescription(error), run);
        noteWriteFailure(error, run);
    } catch (...) {
        folder.slot->failed.store(true, std::memory_order_relaxed);
        loseFolder(snapshot.path, currentFailure(), run);
    }
}

void FileScanner::settleStored(Run& run, bool stored)
{
    if (stored) {
        run.stored.newFiles += run.pending.newFiles;
        run.stored.changedFiles += run.pending.changedFiles;
        run.stored.deletedFiles += run.pending.deletedFiles;
    }
    run.pending = {};
}

void FileScanner::noteLostBatches(Run& run)
{
    // A batch lost by another write (an error log entry on a full disk) took the changes
    // waiting in it along.
    const std::uint64_t lost = database_.lostBatches();
    if (lost == run.lostBatchesSeen)
        return;
    run.lostBatchesSeen = lost;
    run.claimsStoredOnly = true;
    settleStored(run, false);
}

void FileScanner::noteWriteFailure(const std::exception& error, Run& run)
{
    // A failure such as a full disk rolls the whole open batch back.
    noteLostBatches(run);
    if (!database_.writesPending())
        settleStored(run, false);
    if (run.cacheFault)
        return;
    run.cacheFault = cacheFault(error, database_.path());
    if (run.cacheFault && run.queue)
        run.queue->cancel();
}

void FileScanner::deferFolderWithLinks(ReadFolder& folder, Run& run)
{
    DirectorySnapshot& snapshot = folder.snapshot;
    // Its files wait for the end of the walk, but its subfolders need their ids now, as
    // below any other folder: so its subfolder rows are made already. Files are left
    // alone until then, so no stored row of a linked file is dropped on the way.
    if (!snapshot.folderID || !snapshot.subdirectories.empty()) {
        try {
            DirectorySyncResult placed = database_.syncSubfolders(snapshot);
            snapshot.folderID = placed.folderID;
            folder.slot->childIDs = std::move(placed.childIDs);
            folder.slot->newChildIDs = std::move(placed.newChildIDs);
        } catch (const std::exception& error) {
            counters_.folderFailed();
            database_.logError(snapshot.path, "Cache write failed: " + failureDescription(error));
            run.noteLost(snapshot.path);
            noteWriteFailure(error, run);
            folder.slot->failed.store(true, std::memory_order_relaxed);
            return;
        }
    }
    // Its sync after the walk must look up the subfolder rows written by then.
    snapshot.isNewRow = false;
    folder.slot->folderID = snapshot.folderID;
    run.waiting.push_back(Run::Waiting{std::move(snapshot), std::move(folder.links), std::move(folder.keys),
                                       folder.countedBytes, folder.countedBefore, folder.stored,
                                       folder.digestKnown});
}

std::optional<DirectorySyncResult> FileScanner::sync(const DirectorySnapshot& snapshot, Run& run,
                                                    FolderDifferences* read)
{
    try {
        noteLostBatches(run);
        DirectorySyncResult result = database_.syncDirectory(snapshot, run.scanID, read);
        run.pending.newFiles += result.newFiles;
        run.pending.changedFiles += result.changedFiles;
        run.pending.deletedFiles += result.deletedFiles;
        noteLostBatches(run);
        if (!database_.writesPending())
            settleStored(run, true);
        return result;
    } catch (const std::exception& error) {
        counters_.folderFailed();
        database_.logError(snapshot.path, "Cache write failed: " + failureDescription(error));
        run.noteLost(snapshot.path);
        noteWriteFailure(error, run);
        return std::nullopt;
    }
}

void FileScanner::syncFoldersWithHardLinks(Run& run)
{
    // The figures of the pass go to the counters at once: in a resumed scan, bytes that a
    // folder read again gives up reappear with the link that carries them now, so that the
    // sum never goes down on the way.
    std::int64_t folders = 0;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    for (auto& folder : run.waiting) {
        std::int64_t counted = folder.otherBytes;
        for (std::size_t i = 0; i < folder.links.size(); ++i) {
            ScannedFile& file = folder.snapshot.files[folder.links[i]];
            const auto& key = folder.keys[i];
            const std::string path = DirectorySync::childPath(folder.snapshot.path, file.name);
            file.countedAllocatedSize = hardLinkTracker_.carriesSize(key.device, key.inode, path) ? file.allocatedSize : 0;
            counted += file.countedAllocatedSize;
        }
        // With its links' counted bytes known, an unchanged folder is told as any other.
        const bool inBrief = run.storedFolders && folder.stored;
        const std::uint64_t digest = run.recording || inBrief ? StoredFolders::digest(run.digestSeed, folder.snapshot)
                                                              : StoredFolders::unknownDigest;
        std::optional<FolderDifferences> read;
        if (inBrief)
            read = run.storedFolders->unchanged(*folder.stored, folder.snapshot, digest);
        const auto result = sync(folder.snapshot, run, read ? &*read : nullptr);
        if (!result)
            continue;
        if (run.recording)
            run.recording->add(result->folderID, folder.snapshot.parentID, folder.snapshot.name,
                               folder.digestKnown ? digest : StoredFolders::unknownDigest);
        if (read && read->stampLeft) {
            run.stampIDs.push_back(result->folderID);
            run.stampPaths.push_back(folder.snapshot.path);
        }
        counters_.folderSyncedAgain(*result);
        const auto listed = static_cast<std::int64_t>(folder.snapshot.files.size());
        if (folder.countedBefore) {
            files += listed - folder.countedBefore->files;
            bytes += counted - folder.countedBefore->bytes;
        } else {
            folders += 1;
            files += listed;
            bytes += counted;
        }
    }
    writeStamps(run);
    counters_.settle(folders, files, bytes);
}
