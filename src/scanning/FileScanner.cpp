#include "scanning/FileScanner.h"

#include "index/CaseFolding.h"
#include "index/DirectorySync.h"
#include "index/SQLiteError.h"
#include "index/StorageDatabase.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "scanning/SecurityUtils.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace {

double wallClockNow()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

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

std::string failureDescription(const std::exception& error)
{
    if (const auto* sqlite = dynamic_cast<const SQLiteError*>(&error))
        return sqlite->description();
    return error.what();
}

} // namespace

// The state one scan shares between its workers.
struct FileScanner::Run {
    std::int64_t scanID = 0;
    bool resuming = false;
    std::vector<std::string> exclusions;
    std::stop_token stop;

    // Folders holding multiply linked files wait with their sync until every
    // link of the walk is known (see HardLinkTracker::record).
    struct Waiting {
        DirectorySnapshot snapshot;
        std::vector<std::size_t> links;           // positions in snapshot.files
        std::vector<HardLinkTracker::Key> keys;   // the same order
        std::int64_t otherBytes = 0;
        DirectorySyncResult earlier;               // of writing a new folder without its links
    };
    std::mutex waitingLock;
    std::vector<Waiting> waiting;
};

// What reading one folder produced.
struct FileScanner::Listing {
    std::vector<ScannedFile> files;
    std::vector<ScannedSubdirectory> subdirectories;
    std::vector<std::string> subdirectoryDiskNames;   // empty where the name is valid
    std::int64_t countedBytes = 0;
    std::vector<std::size_t> links;
    std::vector<HardLinkTracker::Key> keys;
};

FileScanner::FileScanner(StorageDatabase& database, ScanConfiguration configuration)
    : FileScanner(database, std::move(configuration), FileSystem::standard())
{
}

FileScanner::FileScanner(StorageDatabase& database, ScanConfiguration configuration, const FileSystem& fileSystem)
    : database_(database),
      configuration_(std::move(configuration)),
      fileSystem_(fileSystem),
      reader_(fileSystem),
      categorizer_(CaseFolding::lowercased(configuration_.homeDirectory))
{
}

void FileScanner::pause()
{
    pauseGate_.pause();
    counters_.setPhase(ScanPhase::Kind::paused);
}

void FileScanner::resume()
{
    pauseGate_.resume();
    counters_.setPhase(ScanPhase::Kind::scanning);
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
    Run run;
    run.exclusions = exclusionList(configuration_.excludedPaths);
    run.resuming = resumeScanID.has_value();
    run.stop = stop;
    counters_.reset(startedAt, run.resuming);
    report(ScanPhase::Kind::preparing);

    if (resumeScanID) {
        database_.markScanResumed(*resumeScanID);
        run.scanID = *resumeScanID;
    } else {
        run.scanID = database_.beginScan(roots);
    }

    DirectoryWorkQueue queue;
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
        rootJobs.push_back(Job{root, Paths::lastComponent(root), std::nullopt, id, 0, status.device, {}});
    }
    queue.push(std::move(rootJobs));

    std::jthread ticker([&](std::stop_token tickerStop) {
        std::mutex sleepLock;
        std::condition_variable_any wake;
        std::unique_lock lock(sleepLock);
        while (!tickerStop.stop_requested()) {
            if (progress)
                progress(counters_.snapshot());
            wake.wait_for(lock, tickerStop, std::chrono::milliseconds(250), [] { return false; });
        }
    });

    const int workerCount = std::clamp(configuration_.maxConcurrency, 1, maximumWorkers);
    {
        std::stop_callback onCancel(stop, [&] { queue.cancel(); });
        std::vector<std::thread> workers;
        workers.reserve(static_cast<std::size_t>(workerCount));
        for (int i = 0; i < workerCount; ++i)
            workers.emplace_back([&] { work(queue, run); });
        for (auto& worker : workers)
            worker.join();
    }
    const bool cancelled = stop.stop_requested();
    syncFoldersWithHardLinks(run);

    ticker.request_stop();
    ticker.join();
    report(ScanPhase::Kind::finalizing);

    const VolumeUsage usage = volumeUsage ? volumeUsage() : VolumeUsage{};
    const ScanProgress counted = counters_.snapshot();
    const auto status = cancelled ? ScanRecord::Status::cancelled : ScanRecord::Status::completed;
    const ScanTotals totals = database_.finishScan(run.scanID, roots, status, usage.total, usage.used, counted.newFiles,
                                                   counted.changedFiles, counted.deletedFiles);

    ScanOutcome outcome;
    outcome.scanID = run.scanID;
    outcome.status = status;
    outcome.totals = totals;
    outcome.progress = report(cancelled ? ScanPhase::Kind::cancelled : ScanPhase::Kind::completed);
    outcome.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - startInstant).count();
    return outcome;
}

void FileScanner::work(DirectoryWorkQueue& queue, Run& run)
{
    while (auto job = queue.next()) {
        if (run.stop.stop_requested()) {
            queue.complete();
            return;
        }
        // A folder given up here is neither synced nor entered, so the scan must not take
        // its stored rows for gone.
        std::vector<Job> children;
        try {
            children = process(*job, run);
        } catch (const std::exception& error) {
            counters_.folderFailed();
            database_.logLostFolder(job->path, failureDescription(error));
        } catch (...) {
            counters_.folderFailed();
            database_.logLostFolder(job->path, "Unknown failure");
        }
        queue.push(std::move(children));
        queue.complete();
    }
}

std::optional<std::vector<FileScanner::Job>> FileScanner::takeFromIndex(const Job& job, Run& run)
{
    std::optional<StorageDatabase::VisitedFolder> visited;
    try {
        visited = database_.visitedChildren(*job.folderID, run.scanID);
    } catch (const std::exception&) {
        return std::nullopt;   // read the folder as if it had not been visited
    }
    // Which link of a file carries its bytes is settled among the links this scanner meets,
    // so a folder holding links is read again.
    if (!visited || visited->linkedFiles > 0)
        return std::nullopt;
    // Stored paths hold repaired names that cannot be opened; such a folder is read again.
    const auto repaired = [](const StorageDatabase::ChildFolder& child) {
        return child.path.find(DirectoryReader::replacementCharacter) != std::string::npos;
    };
    if (std::any_of(visited->children.begin(), visited->children.end(), repaired))
        return std::nullopt;
    counters_.folderTakenFromIndex(visited->files, visited->bytes);
    std::vector<Job> jobs;
    for (const auto& child : visited->children) {
        if (isExcluded(child.path, run.exclusions))
            continue;
        jobs.push_back(Job{child.path, child.name, job.folderID, child.id, job.depth + 1, job.device, {}});
    }
    return jobs;
}

std::vector<FileScanner::Job> FileScanner::process(const Job& job, Run& run)
{
    pauseGate_.waitIfPaused(run.stop);
    if (run.stop.stop_requested())
        return {};
    counters_.folderStarted(job.path);

    if (run.resuming && job.folderID)
        if (auto jobs = takeFromIndex(job, run))
            return std::move(*jobs);

    const StorageCategorizer::FolderContext context = categorizer_.context(job.path);
    RawDirectoryEntry self;
    const double folderModified = reader_.stat(job.pathOnDisk(), self) ? 0.0 : self.modified;
    const std::string prefix = job.path == "/" ? std::string("/") : job.path + "/";

    Listing listing;
    std::string childPath;
    const auto failure = reader_.read(job.pathOnDisk(), [&](const RawDirectoryEntry& entry) {
        switch (entry.kind) {
        case RawDirectoryEntry::Kind::other:
            return;
        case RawDirectoryEntry::Kind::directory:
            if (entry.device != job.device)
                return;
            childPath.assign(prefix).append(entry.name);
            if (isExcluded(childPath, run.exclusions))
                return;
            listing.subdirectories.push_back(ScannedSubdirectory{entry.name, entry.modified});
            listing.subdirectoryDiskNames.push_back(entry.diskName);
            return;
        case RawDirectoryEntry::Kind::file:
        case RawDirectoryEntry::Kind::symlink:
            break;
        }
        const bool isLink = entry.kind == RawDirectoryEntry::Kind::symlink;
        ScannedFile file;
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
            listing.links.push_back(listing.files.size());
            listing.keys.push_back(HardLinkTracker::Key{entry.device, entry.inode});
        } else {
            listing.countedBytes += entry.allocatedSize;
        }
        file.modified = entry.modified;
        file.created = entry.created;
        file.accessed = entry.accessed;
        file.category = StorageCategorizer::category(file.fileExtension, context);
        listing.files.push_back(std::move(file));
    });

    bool restricted = false;
    if (failure) {
        switch (failure->kind()) {
        case DirectoryReadError::Kind::accessDenied:
            counters_.folderRefused();
            break;
        case DirectoryReadError::Kind::vanished:
            return {};
        case DirectoryReadError::Kind::other:
            counters_.folderFailed();
            database_.logError(job.path, systemErrorText(failure->code()));
            break;
        }
        restricted = true;
        listing = Listing();
    }

    DirectorySnapshot snapshot;
    snapshot.path = job.path;
    snapshot.name = job.name;
    snapshot.parentID = job.parentID;
    snapshot.folderID = job.folderID;
    snapshot.depth = job.depth;
    snapshot.modified = folderModified;
    snapshot.isRestricted = restricted;
    snapshot.category = context.forcedCategory.value_or(context.fallbackCategory.value_or(StorageCategory::other));
    snapshot.subdirectories = std::move(listing.subdirectories);

    if (!listing.links.empty()) {
        // The folder's row must exist for its children; a new folder is first
        // written without its linked files, which join it after the walk.
        std::optional<std::int64_t> folderID = job.folderID;
        if (!folderID)
            if (auto stored = database_.folder(job.path))
                folderID = stored->id;
        std::optional<DirectorySyncResult> early;
        if (!folderID) {
            DirectorySnapshot partial = snapshot;
            for (std::size_t i = 0, next = 0; i < listing.files.size(); ++i) {
                if (next < listing.links.size() && listing.links[next] == i)
                    ++next;
                else
                    partial.files.push_back(listing.files[i]);
            }
            try {
                early = database_.syncDirectory(partial, run.scanID);
            } catch (const std::exception& error) {
                counters_.folderFailed();
                database_.logError(job.path, "Cache write failed: " + failureDescription(error));
                return {};
            }
            folderID = early->folderID;
        }
        snapshot.folderID = folderID;
        snapshot.files = std::move(listing.files);
        std::vector<Job> children =
            childJobs(job, snapshot.subdirectories, listing.subdirectoryDiskNames, folderID, early ? &*early : nullptr);
        std::lock_guard guard(run.waitingLock);
        run.waiting.push_back(Run::Waiting{std::move(snapshot), std::move(listing.links), std::move(listing.keys),
                                           listing.countedBytes, early.value_or(DirectorySyncResult{})});
        return children;
    }

    snapshot.files = std::move(listing.files);
    const auto result = sync(snapshot, listing.countedBytes, run, DirectorySyncResult{});
    if (!result)
        return {};
    return childJobs(job, snapshot.subdirectories, listing.subdirectoryDiskNames, result->folderID, &*result);
}

std::vector<FileScanner::Job> FileScanner::childJobs(const Job& job,
                                                     const std::vector<ScannedSubdirectory>& subdirectories,
                                                     const std::vector<std::string>& diskNames,
                                                     std::optional<std::int64_t> parentID,
                                                     const DirectorySyncResult* result) const
{
    std::vector<Job> jobs;
    jobs.reserve(subdirectories.size());
    // The sync keeps the first of names that repeat once repaired and logs the others;
    // reading those would fill the first one's row.
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < subdirectories.size(); ++i) {
        const auto& subdirectory = subdirectories[i];
        if (!names.insert(subdirectory.name).second)
            continue;
        std::optional<std::int64_t> folderID;
        if (result)
            if (const auto found = result->childIDs.find(subdirectory.name); found != result->childIDs.end())
                folderID = found->second;
        Job child{DirectorySync::childPath(job.path, subdirectory.name), subdirectory.name, parentID, folderID,
                  job.depth + 1, job.device, {}};
        if (!job.diskPath.empty() || !diskNames[i].empty()) {
            const std::string& diskName = diskNames[i].empty() ? subdirectory.name : diskNames[i];
            child.diskPath = DirectorySync::childPath(job.pathOnDisk(), diskName);
        }
        jobs.push_back(std::move(child));
    }
    return jobs;
}

std::optional<DirectorySyncResult> FileScanner::sync(const DirectorySnapshot& snapshot, std::int64_t countedBytes,
                                                     Run& run, const DirectorySyncResult& earlier)
{
    try {
        DirectorySyncResult result = database_.syncDirectory(snapshot, run.scanID);
        DirectorySyncResult counted = result;
        counted.newFiles += earlier.newFiles;
        counted.changedFiles += earlier.changedFiles;
        counted.deletedFiles += earlier.deletedFiles;
        counters_.folderSynced(static_cast<std::int64_t>(snapshot.files.size()), countedBytes, counted);
        return result;
    } catch (const std::exception& error) {
        counters_.folderFailed();
        database_.logError(snapshot.path, "Cache write failed: " + failureDescription(error));
        return std::nullopt;
    }
}

void FileScanner::syncFoldersWithHardLinks(Run& run)
{
    std::vector<Run::Waiting> waiting;
    {
        std::lock_guard guard(run.waitingLock);
        waiting.swap(run.waiting);
    }
    for (auto& folder : waiting) {
        std::int64_t counted = folder.otherBytes;
        for (std::size_t i = 0; i < folder.links.size(); ++i) {
            ScannedFile& file = folder.snapshot.files[folder.links[i]];
            const auto& key = folder.keys[i];
            const std::string path = DirectorySync::childPath(folder.snapshot.path, file.name);
            file.countedAllocatedSize = hardLinkTracker_.carriesSize(key.device, key.inode, path) ? file.allocatedSize : 0;
            counted += file.countedAllocatedSize;
        }
        sync(folder.snapshot, counted, run, folder.earlier);
    }
}
