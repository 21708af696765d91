#pragma once

#include "index/StorageCategorizer.h"
#include "scanning/DirectoryReader.h"
#include "scanning/DirectoryWorkQueue.h"
#include "scanning/HardLinkTracker.h"
#include "scanning/PauseGate.h"
#include "scanning/ScanConfiguration.h"
#include "scanning/ScanCounters.h"
#include "scanning/ScanProgress.h"
#include "scanning/ScanWriter.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string_view>
#include <vector>

class FileSystem;
class StorageDatabase;
class ReaderConnections;
class ScanSession;
struct ScanPlan;

// Runs one scan of the configured roots into the scan cache: parallel folder readers over a
// work queue hand what they list to one writer thread, which owns every folder sync of the
// scan; only differences are written. Create one per scan. docs/scan-pipeline.md describes
// the stages and the words used for them.
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
    // Folders listed and not yet written, at most. Room enough that the readers seldom stop for
    // the writer, and that the writer, which takes them all at once, wakes stopped readers
    // seldom: on a first scan it is the slower side, and each wake costs it.
    static constexpr std::size_t defaultHandoffCapacity = 256;
    // Their entries (files and subfolders) at most: bounds what the readers hold in memory
    // when folders are large.
    static constexpr std::size_t handoffEntryBudget = 32768;
    static constexpr std::string_view incompleteScanMessage = ScanWriter::incompleteScanMessage;
    static constexpr std::string_view otherWriterMessage = ScanWriter::otherWriterMessage;

    FileScanner(StorageDatabase& database, ScanConfiguration configuration);
    FileScanner(StorageDatabase& database, ScanConfiguration configuration, const FileSystem& fileSystem,
                std::size_t handoffCapacity = defaultHandoffCapacity);

    // Blocks until the scan has ended; a stop request on `stop` ends it as
    // cancelled. With `resumeScanID`, continues that scan record and skips the
    // folders it already synced. Fails with the SQLiteError of opening the scan
    // record, of making sure of a root, or of finishing the scan.
    ScanOutcome scan(std::optional<std::int64_t> resumeScanID, const VolumeUsageProvider& volumeUsage,
                     const ProgressHandler& progress, std::stop_token stop = {});

    // Readers stop before their next folder until resume(); the running time stands still.
    void pause();
    void resume();
    // Readers that wait now, at the pause gate or for a job: once all of them do while the
    // scan is paused, nothing more is read until resume().
    std::size_t waitingReaders() const;

    // Before a resuming scan(): the progress the scan had when it stopped, so that its running
    // time and error count go on from there. Its other figures go on from what the index holds.
    void continueFrom(const ScanProgress& earlier);

    const ScanConfiguration& configuration() const { return configuration_; }

private:
    using Job = DirectoryWorkQueue::Job;

    // The scan record opened or reopened, with the session that writes the scan.
    ScanSession openRecord(ScanPlan& plan, std::optional<std::int64_t> resumeScanID);
    // A job for every usable root, each with its folder row; the others are logged.
    std::vector<Job> rootJobs(const ScanPlan& plan, ScanSession& session);
    // A resumed scan's figures before it stopped: what the index holds of the folders it
    // synced, with the caller's errors and running time.
    ScanProgress earlierFigures(std::int64_t scanID) const;

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
    mutable std::mutex walkLock_;
    const DirectoryWorkQueue* walking_ = nullptr;   // the queue of the walk under way
};
