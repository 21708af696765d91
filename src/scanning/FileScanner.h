#pragma once

#include "index/StorageCategorizer.h"
#include "scanning/DirectoryReader.h"
#include "scanning/DirectoryWorkQueue.h"
#include "scanning/HandoffQueue.h"
#include "scanning/HardLinkTracker.h"
#include "scanning/PauseGate.h"
#include "scanning/ScanConfiguration.h"
#include "scanning/ScanCounters.h"
#include "scanning/ScanProgress.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

class FileSystem;
class StorageDatabase;
class StoredRowsReader;
struct FolderDifferences;

// Runs one scan of the configured roots into the scan cache: parallel folder
// readers over a work queue hand what they read to one writer thread, which owns
// every folder sync of the scan; only differences are written. Create one per scan.
class FileScanner {
public:
    struct VolumeUsage {
        std::int64_t total = 0;
        std::int64_t used = 0;
    };
    using VolumeUsageProvider = std::function<VolumeUsage()>;
    // Called from the scanning thread and from the progress ticker, never at once.
    using ProgressHandler = std::function<void(const ScanProgress&)>;

    static constexpr int maximumWorkers = 16;
    // Folders read and not yet written, at most. Room enough that the readers seldom stop for
    // the writer, and that the writer, which takes them all at once, wakes stopped readers
    // seldom: on a first scan it is the slower side, and each wake costs it.
    static constexpr std::size_t defaultHandoffCapacity = 256;
    // Their entries (files and subfolders) at most: bounds what the readers hold in memory
    // when folders are large.
    static constexpr std::size_t handoffEntryBudget = 32768;
    // The writer commits what it wrote when no folder has come for this long.
    static constexpr std::chrono::milliseconds idleCommitDelay{250};

    FileScanner(StorageDatabase& database, ScanConfiguration configuration);
    FileScanner(StorageDatabase& database, ScanConfiguration configuration, const FileSystem& fileSystem,
                std::size_t handoffCapacity = defaultHandoffCapacity);

    // Blocks until the scan has ended; a stop request on `stop` ends it as
    // cancelled. With `resumeScanID`, continues that scan record and skips the
    // folders it already synced. Fails with the SQLiteError of opening the scan
    // record, of making sure of a root, or of finishing the scan.
    ScanOutcome scan(std::optional<std::int64_t> resumeScanID, const VolumeUsageProvider& volumeUsage,
                     const ProgressHandler& progress, std::stop_token stop = {});

    // Workers stop before their next folder until resume(); the running time stands still.
    void pause();
    void resume();

    // Before a resuming scan(): the progress the scan had when it stopped, so that its running
    // time and error count go on from there. Its other figures go on from what the index holds.
    void continueFrom(const ScanProgress& earlier);

    // Logged at a root under which folders were lost, when the scan ends incomplete.
    static constexpr std::string_view incompleteScanMessage =
        "Scan incomplete: folders here could not be read or saved. Resume reads them again.";

    const ScanConfiguration& configuration() const { return configuration_; }

    // The excluded paths as the exclusion test compares them.
    static std::vector<std::string> exclusionList(const std::vector<std::string>& excludedPaths);
    // True when `path` is an excluded folder or lies inside one; letter case ignored.
    static bool isExcluded(std::string_view path, const std::vector<std::string>& exclusions);

private:
    using Job = DirectoryWorkQueue::Job;
    using InodesAbove = std::shared_ptr<const std::vector<std::uint64_t>>;
    // A folder's direct files and counted bytes.
    struct Figures {
        std::int64_t files = 0;
        std::int64_t bytes = 0;
    };
    struct Run;
    struct Listing;
    struct ReadFolder;
    struct Worker;

    void work(DirectoryWorkQueue& queue, Run& run, std::size_t reader);
    // Reads the job's folder and keeps it in the worker's hands until the worker hands over
    // what it read; returns the jobs of its subfolders.
    std::vector<Job> process(const Job& job, Run& run, Worker& worker);
    // The worker's connection to the cache, or nothing when the cache cannot be read that way.
    std::unique_ptr<StoredRowsReader> storedRowsReader() const;
    // Opens the workers' own connections to the cache, when there are stored rows to compare with.
    void openReaders(Run& run, std::size_t workers) const;
    // Prepares the workers' reading of the stored rows in brief, after which the root jobs go to
    // the queue; false, with the jobs left to the caller, when every worker cannot take part or
    // when the rows in brief `kept` from the last scan stand in for that reading.
    bool startLoading(Run& run, std::size_t workers, DirectoryWorkQueue& queue, std::vector<Job>& rootJobs,
                      std::optional<StoredFolders> kept) const;
    // The jobs of a folder this resumed scan has synced already, or nothing when it must be
    // read; then `storedChildren` receives the ids its subfolders have in the index.
    // `countedBefore` receives the stored figures of a folder this resumed scan synced
    // before, read again or not: the counters started from them.
    std::optional<std::vector<Job>> takeFromIndex(const Job& job, Run& run,
                                                  std::map<std::string, std::int64_t>& storedChildren,
                                                  std::optional<Figures>& countedBefore);
    // A resumed scan's figures before it stopped: what the index holds of the folders it
    // synced, with the caller's errors and running time.
    ScanProgress earlierFigures(std::int64_t scanID) const;
    // A folder neither synced nor entered: logged, so that the scan keeps its stored rows and
    // ends incomplete.
    void loseFolder(const std::string& path, const std::string& message, Run& run);
    static std::vector<Job> childJobs(const Job& job, const Listing& listing, const std::shared_ptr<FolderSlot>& slot,
                                      const std::shared_ptr<const FolderHandle>& handle,
                                      const InodesAbove& inodesAbove, const StoredFolders* stored);
    // The inodes of the folders above a folder opened by path, by depth from the root.
    InodesAbove inodesAbove(const Job& job) const;
    // Leaves out, and logs, the subfolders that are the folder itself or one above it in
    // the walk (a bind mount inside itself): entering them would count that folder again.
    void dropLoops(const Job& job, const FolderRead& opened, const std::vector<std::uint64_t>* inodesAbove,
                   Listing& listing);

    // The writer thread and what it does with each folder read.
    void write(Run& run);
    void writeFolder(ReadFolder& folder, Run& run);
    void writeStamps(Run& run);
    // Hands written folders back to the readers that made them, to be freed there.
    static void giveBack(std::vector<ReadFolder>& written, Run& run);
    void deferFolderWithLinks(ReadFolder& folder, Run& run);
    // Absent when the write failed, which is counted and logged.
    std::optional<DirectorySyncResult> sync(const DirectorySnapshot& snapshot, Run& run,
                                            FolderDifferences* read = nullptr);
    // The changes waiting in the open batch were stored, or lost with it.
    void settleStored(Run& run, bool stored);
    // Drops the waiting changes when a batch was lost since last seen.
    void noteLostBatches(Run& run);
    // A failed write: a fault that every later write would meet too stops the walk.
    void noteWriteFailure(const std::exception& error, Run& run);
    // The end of a scan that could not write to its cache: failed, claiming only stored changes.
    ScanOutcome endWithCacheFault(Run& run, const std::vector<std::string>& roots,
                                  const VolumeUsageProvider& volumeUsage, const ProgressHandler& progress,
                                  std::chrono::steady_clock::time_point startInstant);
    void syncFoldersWithHardLinks(Run& run);

    StorageDatabase& database_;
    ScanConfiguration configuration_;
    const FileSystem& fileSystem_;
    std::size_t handoffCapacity_;
    DirectoryReader reader_;
    ScanCounters counters_;
    PauseGate pauseGate_;
    StorageCategorizer categorizer_;
    HardLinkTracker hardLinkTracker_;
    std::optional<ScanProgress> earlier_;
};
