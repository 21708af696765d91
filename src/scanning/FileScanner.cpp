#include "scanning/FileScanner.h"

#include "index/CaseFolding.h"
#include "index/ScanSession.h"
#include "index/StorageDatabase.h"
#include "platform/DescriptorBudget.h"
#include "platform/DescriptorLimit.h"
#include "platform/FileSystem.h"
#include "platform/LargeBlocks.h"
#include "platform/Paths.h"
#include "platform/ThreadName.h"
#include "scanning/ChangeLedger.h"
#include "scanning/FolderHandoff.h"
#include "scanning/FolderReaders.h"
#include "scanning/LostFolders.h"
#include "scanning/ReaderConnections.h"
#include "scanning/ScanPlan.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace {

double wallClockNow()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

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
        return std::generic_category().message(code);
    }
}

ScanPhase endingPhase(const ScanWriter::Ending& ending)
{
    if (ending.failure)
        return ScanPhase::failed(*ending.failure);
    return ending.status == ScanRecord::Status::completed ? ScanPhase::Kind::completed : ScanPhase::Kind::cancelled;
}

} // namespace

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

std::size_t FileScanner::waitingReaders() const
{
    std::lock_guard guard(walkLock_);
    return pauseGate_.waitingCount() + (walking_ ? walking_->waitingCount() : 0);
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
    };

    ScanPlan plan{.resuming = resumeScanID.has_value(),
                  .roots = configuration_.normalizedRoots(fileSystem_),
                  .exclusions = ScanExclusions(configuration_.excludedPaths),
                  .stop = stop,
                  .budget = std::make_shared<DescriptorBudget>(DescriptorLimit::folderBudget(4, 16, 4096)),
                  .filesPerPart = configuration_.filesPerPart};
    counters_.reset(startedAt, plan.resuming, resumeScanID ? earlierFigures(*resumeScanID) : ScanProgress{});
    report(ScanPhase::Kind::preparing);

    ScanSession session = openRecord(plan, resumeScanID);
    plan.digestSeed = session.digestSeed();

    DirectoryWorkQueue queue;
    const ScanProgress start = counters_.snapshot();
    const ChangeLedger ledger(ChangeLedger::Changes{.newFiles = start.newFiles,
                                                    .changedFiles = start.changedFiles,
                                                    .deletedFiles = start.deletedFiles},
                              session.lostBatches());
    const auto readerCount = static_cast<std::size_t>(std::clamp(configuration_.maxConcurrency, 1, maximumWorkers));
    ReaderConnections connections(database_, readerCount, !plan.fillsEmptyIndex);
    std::vector<Job> roots = rootJobs(plan, session);

    std::jthread ticker([&](std::stop_token tickerStop) {
        ThreadName::set("scan-ticker");
        std::mutex sleepLock;
        std::condition_variable_any wake;
        std::unique_lock lock(sleepLock);
        while (!tickerStop.stop_requested()) {
            if (progress)
                progress(counters_.snapshot());
            wake.wait_for(lock, tickerStop, std::chrono::milliseconds(250), [] { return false; });
        }
    });
    queue.push(std::move(roots));

    FolderHandoff handoff(readerCount, handoffCapacity_, handoffEntryBudget);
    LostFolders lost(session, counters_, plan.roots);
    ScanWriter writer(ScanWriter::Parts{.database = database_, .session = session, .counters = counters_, .hardLinks = hardLinkTracker_},
                      plan, handoff, lost, queue, ledger);
    FolderReaders readers(FolderReaders::Parts{.database = database_,
                                               .session = session,
                                               .fileSystem = fileSystem_,
                                               .directoryReader = reader_,
                                               .counters = counters_,
                                               .pauseGate = pauseGate_,
                                               .categorizer = categorizer_,
                                               .hardLinks = hardLinkTracker_},
                          plan, queue, handoff, lost, connections);
    {
        std::lock_guard guard(walkLock_);
        walking_ = &queue;
    }
    {
        // Pause and cancel stop the readers only: the writer drains whatever was listed.
        std::thread writing([&] {
            ThreadName::set("scan-writer");
            writer.run();
        });
        std::stop_callback onCancel(stop, [&] { queue.cancel(); });
        std::vector<std::thread> reading;
        reading.reserve(readerCount);
        for (std::size_t i = 0; i < readerCount; ++i)
            reading.emplace_back([&readers, i] {
                ThreadName::set("scan-reader");
                readers.work(i);
            });
        for (auto& thread : reading)
            thread.join();
        handoff.close();
        writing.join();
    }
    {
        std::lock_guard guard(walkLock_);
        walking_ = nullptr;
    }
    connections.endReads();
    const bool stopped = stop.stop_requested();
    writer.syncFoldersWithLinks();

    ticker.request_stop();
    ticker.join();
    report(ScanPhase::Kind::finalizing);

    const VolumeUsage usage = volumeUsage ? volumeUsage() : VolumeUsage{};
    const ScanWriter::Ending ending = writer.finish(stopped, usage.total, usage.used, connections);
    ScanOutcome outcome{.scanID = plan.scanID,
                        .status = ending.status,
                        .totals = ending.totals,
                        .progress = counters_.snapshot(),
                        .lostFolders = ending.lostFolders};
    outcome.progress.phase = endingPhase(ending);
    outcome.progress.newFiles = ending.claimed.newFiles;
    outcome.progress.changedFiles = ending.claimed.changedFiles;
    outcome.progress.deletedFiles = ending.claimed.deletedFiles;
    if (progress)
        progress(outcome.progress);
    outcome.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - startInstant).count();
    return outcome;
}

ScanSession FileScanner::openRecord(ScanPlan& plan, std::optional<std::int64_t> resumeScanID)
{
    if (resumeScanID) {
        ScanSession session = database_.resumeScan(*resumeScanID);
        plan.scanID = session.id();
        return session;
    }
    ScanSession session = database_.startScan(plan.roots);
    plan.scanID = session.id();
    plan.fillsEmptyIndex = session.beginBulkLoad();
    return session;
}

std::vector<FileScanner::Job> FileScanner::rootJobs(const ScanPlan& plan, ScanSession& session)
{
    std::vector<Job> jobs;
    for (const auto& root : plan.roots) {
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
        const std::int64_t id = session.ensureRoot(root, status.modified);
        jobs.push_back(Job{.path = root,
                           .name = Paths::lastComponent(root),
                           .folderID = id,
                           .device = status.device,
                           .inode = status.inode});
    }
    return jobs;
}
