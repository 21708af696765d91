#include "app/ScanCoordinator.h"

#include "analysis/StorageAnalyzer.h"
#include "analysis/VolumeService.h"
#include "app/BackgroundWork.h"
#include "app/LatestLoad.h"
#include "app/system/ErrorText.h"
#include "app/SetIfChanged.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "index/SQLiteFailure.h"
#include "index/ScanCacheOpener.h"
#include "index/StorageDatabase.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "platform/FileSystem.h"
#include "scanning/FileScanner.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <mutex>

struct ScanCoordinator::Recovery {
    std::once_flag once;

    void run(StorageDatabase& database)
    {
        std::call_once(once, [&] {
            try {
                database.recoverInterruptedScans();
            } catch (...) {
                // An index that cannot be updated here still loads its summary.
            }
        });
    }
};

namespace {

double nowSeconds()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::vector<std::string> toStdStrings(const QStringList& list)
{
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(list.size()));
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

} // namespace

ScanCoordinator::ScanCoordinator(std::shared_ptr<StorageDatabase> database, QObject* parent)
    : QObject(parent), database_(std::move(database)), summaryLoad_(new LatestLoad(this)),
      recovery_(std::make_shared<Recovery>())
{
}

ScanCoordinator::~ScanCoordinator()
{
    if (task_) {
        task_->cancel();
        task_.reset();   // joins: the scanner closes its record as cancelled first
    }
}

bool ScanCoordinator::isActive(const ScanPhase& phase)
{
    using K = ScanPhase::Kind;
    const K kind = phase.kind();
    return kind == K::preparing || kind == K::scanning || kind == K::paused || kind == K::finalizing;
}

void ScanCoordinator::setProgress(ScanProgress progress)
{
    setIfChanged(this, progress_, std::move(progress), &ScanCoordinator::progressChanged);
}

void ScanCoordinator::setSummary(StorageSummary summary)
{
    setIfChanged(this, summary_, std::move(summary), &ScanCoordinator::summaryChanged);
}

void ScanCoordinator::setResumableScanID(std::optional<std::int64_t> id)
{
    setIfChanged(this, resumableScanID_, id, &ScanCoordinator::resumableScanIDChanged);
}

void ScanCoordinator::setErrorMessage(std::optional<std::string> message)
{
    setIfChanged(this, errorMessage_, std::move(message), &ScanCoordinator::errorMessageChanged);
}

void ScanCoordinator::setApplicationCount(std::optional<int> count)
{
    setIfChanged(this, summary_.applicationCount, count, &ScanCoordinator::summaryChanged);
}

void ScanCoordinator::loadInitial(std::function<void()> done)
{
    if (isLoaded_) {
        if (done)
            done();
        return;
    }
    if (!database_) {
        if (done)
            initialLoadWaiters_.push_back(std::move(done));
        if (isLoadingInitial_)
            return;
        isLoadingInitial_ = true;
        refreshSummary([this] { finishInitialLoad(); });
        return;
    }
    if (done)
        initialLoadWaiters_.push_back(std::move(done));
    // A second caller waits for the load under way instead of recovering again,
    // which would close a scan started in the meantime.
    if (isLoadingInitial_)
        return;
    isLoadingInitial_ = true;
    auto database = database_;
    auto recovery = recovery_;
    LatestLoad::once(
        this, [database, recovery] { recovery->run(*database); },
        [this] {
            refreshSummary([this] {
                if (summary_.lastScan && summary_.lastScan->status == ScanRecord::Status::cancelled)
                    setResumableScanID(summary_.lastScan->id);
                finishInitialLoad();
            });
        });
}

void ScanCoordinator::finishInitialLoad()
{
    isLoadingInitial_ = false;
    setIfChanged(this, isLoaded_, true, &ScanCoordinator::isLoadedChanged);
    auto waiters = std::move(initialLoadWaiters_);
    initialLoadWaiters_.clear();
    for (auto& waiter : waiters)
        waiter();
}

void ScanCoordinator::refreshSummary(std::function<void()> done)
{
    if (done)
        summaryWaiters_.push_back(std::move(done));
    auto database = database_;
    auto tellWaiters = [this] {
        auto waiters = std::move(summaryWaiters_);
        summaryWaiters_.clear();
        for (auto& waiter : waiters)
            waiter();
    };
    summaryLoad_->start(
        [database] {
            if (database)
                return StorageAnalyzer::loadSummary(*database);
            // Without a cache the disk's own figures still hold.
            StorageSummary volumeOnly;
            volumeOnly.volume = VolumeService::info("/");
            return volumeOnly;
        },
        [this, tellWaiters](StorageSummary loaded) {
            loaded.applicationCount = summary_.applicationCount;
            setSummary(std::move(loaded));
            tellWaiters();
        },
        // The summary shown stays; the callers still go on.
        [tellWaiters](const std::string&) { tellWaiters(); });
}

void ScanCoordinator::dataChanged(std::function<void()> done)
{
    refreshSummary([this, done = std::move(done)] {
        ++dataVersion_;
        emit dataVersionChanged();
        if (done)
            done();
    });
}

ScanCoordinator::ScanSettings ScanCoordinator::readSettings(const UserDefaults& defaults)
{
    ScanSettings settings;
    settings.includeExternalVolumes = defaults.boolValue(SettingsKey::includeExternalVolumes);
    if (settings.includeExternalVolumes)
        settings.includeNetworkVolumes = defaults.boolValue(SettingsKey::includeNetworkVolumes);
    settings.includeSystemFolders = defaults.boolValue(SettingsKey::includeSystemFolders);
    settings.excludedPaths = toStdStrings(defaults.stringListValue(SettingsKey::excludedPaths));
    settings.workers = workerCount(defaults.integerValue(SettingsKey::scanConcurrency));
    return settings;
}

std::vector<std::string> ScanCoordinator::rootsFromSettings(
    const ScanSettings& settings, const std::function<std::vector<VolumeInfo>(bool)>& externalVolumes)
{
    std::vector<std::string> external;
    if (settings.includeExternalVolumes) {
        for (const VolumeInfo& volume : externalVolumes(settings.includeNetworkVolumes))
            external.push_back(volume.path);
    }
    std::vector<std::string> roots = ScanConfiguration::userRoots();
    if (settings.includeSystemFolders) {
        const std::vector<std::string> system = ScanConfiguration::systemRoots();
        roots.insert(roots.end(), system.begin(), system.end());
    }
    roots.insert(roots.end(), external.begin(), external.end());
    return roots;
}

int ScanCoordinator::workerCount(long long setting)
{
    return static_cast<int>(std::clamp<long long>(setting, 1, 16));
}

namespace {

ScanConfiguration configurationFor(const ScanCoordinator::ScanSettings& settings, std::vector<std::string> roots)
{
    ScanConfiguration configuration;
    configuration.roots = std::move(roots);
    configuration.excludedPaths = settings.excludedPaths;
    configuration.maxConcurrency = settings.workers;
    configuration.homeDirectory = SystemPaths::homeDirectory();
    return configuration;
}

std::vector<VolumeInfo> externalVolumes(bool network)
{
    return VolumeService::externalVolumes(network);
}

} // namespace

ScanConfiguration ScanCoordinator::configurationFromSettings(const UserDefaults& defaults) const
{
    const ScanSettings settings = readSettings(defaults);
    return configurationFor(settings, rootsProvider_ ? rootsProvider_() : rootsFromSettings(settings, externalVolumes));
}

std::pair<std::int64_t, std::int64_t> ScanCoordinator::volumeUsage(const std::optional<VolumeInfo>& volume)
{
    if (!volume)
        return {0, 0};
    return {volume->totalCapacity, std::max<std::int64_t>(0, volume->usedCapacity)};
}

// Damage met by any read or write of the cache: it is set aside and a new cache started the
// way the program opens its cache, off the main thread, so that the next scan starts sound.
bool ScanCoordinator::setAsideIfDamaged()
{
    if (isReplacingDatabase_)
        return true;
    if (!database_ || isScanActive() || isClearing_ || !SQLiteFailure::damageMet(database_->path()))
        return false;
    isReplacingDatabase_ = true;
    const std::string folder = Paths::deletingLastComponent(database_->path());
    LatestLoad::once(
        this, [folder] { return ScanCacheOpener::open([folder] { return folder; }, std::time(nullptr)); },
        [this](ScanCacheOpener::Opened opened) {
            isReplacingDatabase_ = false;
            database_ = std::move(opened.database);
            // The scans it described went aside with it.
            lastOutcome_.reset();
            setResumableScanID(std::nullopt);
            setErrorMessage(std::move(opened.problem));
            emit databaseChanged();
            dataChanged();
        });
    return true;
}

void ScanCoordinator::startScan(bool resume)
{
    if (!database_ || isScanActive() || isClearing_ || setAsideIfDamaged())
        return;
    if (database_->isReadOnly()) {
        setErrorMessage("The scan cache " + database_->path() + " cannot be written, so a scan could not be saved.");
        return;
    }

    const ScanSettings settings = readSettings(UserDefaults::standard());
    RootsProvider roots = rootsProvider_;
    if (!roots)
        roots = [settings] { return rootsFromSettings(settings, externalVolumes); };
    setErrorMessage(std::nullopt);

    // Only a scan that really continues an earlier one counts as resumed.
    const std::optional<std::int64_t> resumeID = resume ? resumableScanID_ : std::nullopt;
    ScanProgress preparing;
    // A resumed scan goes on from the figures and running time it stopped with.
    std::optional<ScanProgress> stoppedAt;
    if (resumeID && lastOutcome_ && lastOutcome_->scanID == *resumeID) {
        stoppedAt = lastOutcome_->progress;
        preparing = *stoppedAt;
        preparing.currentPath.clear();
    }
    preparing.phase = ScanPhase::Kind::preparing;
    preparing.startedAt = nowSeconds();
    preparing.isResumed = resumeID.has_value();
    setProgress(std::move(preparing));

    auto database = database_;
    auto recovery = recovery_;
    const std::uint64_t run = ++scanRuns_;
    QPointer<ScanCoordinator> self(this);
    const FileSystem& fileSystem = fileSystem_ ? *fileSystem_ : FileSystem::standard();
    task_ = std::make_unique<ScanTask>([self, run, database, recovery, resumeID, stoppedAt, settings, roots,
                                        &fileSystem](std::stop_token stop) {
        // A scan started before the start-up load got this far must not be closed by it.
        recovery->run(*database);
        // The roots come from the mount table and the volumes, which may be slow to answer:
        // they are built here, never on the main thread.
        std::shared_ptr<FileScanner> scanner;
        try {
            scanner = std::make_shared<FileScanner>(*database, configurationFor(settings, roots()), fileSystem);
            if (stoppedAt)
                scanner->continueFrom(*stoppedAt);
        } catch (...) {
            std::string description = errorText();
            postToMainThread(self, [self, description = std::move(description)]() mutable {
                self->scanFailed(nullptr, std::move(description));
            });
            return;
        }
        postToMainThread(self, [self, run, scanner] { self->scannerCreated(run, scanner); });
        const FileScanner* identity = scanner.get();
        auto progress = [self, scanner](const ScanProgress& report) {
            postToMainThread(self, [self, scanner, report] { self->apply(report, scanner.get()); });
        };
        auto volumeUsage = [] {
            const auto [total, used] = ScanCoordinator::volumeUsage(VolumeService::info("/"));
            return FileScanner::VolumeUsage{total, used};
        };
        try {
            ScanOutcome outcome = scanner->scan(resumeID, volumeUsage, progress, stop);
            postToMainThread(self, [self, identity, outcome = std::move(outcome)]() mutable {
                self->scanReturned(identity, std::move(outcome));
            });
        } catch (...) {
            std::string description = errorText();
            postToMainThread(self, [self, identity, description = std::move(description)]() mutable {
                self->scanFailed(identity, std::move(description));
            });
        }
    });
}

void ScanCoordinator::scannerCreated(std::uint64_t run, std::shared_ptr<FileScanner> scanner)
{
    // Posted before any report of the scanner, so it is in place when they arrive.
    if (run != scanRuns_ || !task_)
        return;
    scanner_ = std::move(scanner);
}

bool ScanCoordinator::clearCache(std::function<void(std::optional<std::string>)> done)
{
    if (isScanActive() || isClearing_)
        return false;
    setIfChanged(this, isClearing_, true, &ScanCoordinator::isClearingChanged);
    auto finish = [this, done = std::move(done)](std::optional<std::string> failure) {
        auto end = [this, done, failure] {
            setIfChanged(this, isClearing_, false, &ScanCoordinator::isClearingChanged);
            if (done)
                done(failure);
        };
        if (failure) {
            end();
            return;
        }
        // The scans these described are gone from the index.
        lastOutcome_.reset();
        setProgress(ScanProgress{});
        setResumableScanID(std::nullopt);
        setErrorMessage(std::nullopt);
        dataChanged(std::move(end));
    };
    if (!database_) {
        finish("The scan cache could not be opened when the program started, so there is nothing to clear.");
        return true;
    }
    auto database = database_;
    LatestLoad::once(
        this,
        [database]() -> std::optional<std::string> {
            try {
                database->clearAll();
                return std::nullopt;
            } catch (...) {
                return errorText();
            }
        },
        std::move(finish));
    return true;
}

void ScanCoordinator::apply(ScanProgress report, const FileScanner* from)
{
    if (!scanner_ || scanner_.get() != from)
        return;
    using K = ScanPhase::Kind;
    const K current = progress_.phase.kind();
    if (current == K::completed || current == K::cancelled)
        return;
    if (current == K::paused && report.phase.kind() == K::scanning)
        report.phase = K::paused;
    setProgress(std::move(report));
}

void ScanCoordinator::scanReturned(const FileScanner* from, ScanOutcome outcome)
{
    if (scanner_.get() != from)
        return;
    ScanProgress finalProgress = outcome.progress;
    const bool cancelled = outcome.status == ScanRecord::Status::cancelled;
    // A scan that could not save what it found ends failed with the reason as its words.
    if (outcome.status == ScanRecord::Status::failed)
        setErrorMessage("The scan failed: " + finalProgress.phase.message());
    const std::int64_t scanID = outcome.scanID;
    lastOutcome_ = std::move(outcome);
    setProgress(std::move(finalProgress));
    setResumableScanID(cancelled ? std::optional<std::int64_t>(scanID) : std::nullopt);
    endScan();
    if (!setAsideIfDamaged())
        dataChanged();
}

void ScanCoordinator::scanFailed(const FileScanner* from, std::string description)
{
    if (scanner_.get() != from)
        return;
    ScanProgress failed = progress_;
    failed.phase = ScanPhase::failed(description);
    setProgress(std::move(failed));
    setErrorMessage("The scan failed: " + description);
    endScan();
    if (!setAsideIfDamaged())
        dataChanged();
}

void ScanCoordinator::endScan()
{
    scanner_.reset();
    // The thread has posted its last call; joining it here is immediate.
    task_.reset();
}

void ScanCoordinator::pause()
{
    if (!scanner_ || progress_.phase.kind() != ScanPhase::Kind::scanning)
        return;
    ScanProgress paused = progress_;
    paused.phase = ScanPhase::Kind::paused;
    setProgress(std::move(paused));
    scanner_->pause();
}

void ScanCoordinator::resume()
{
    if (!scanner_ || progress_.phase.kind() != ScanPhase::Kind::paused)
        return;
    ScanProgress scanning = progress_;
    scanning.phase = ScanPhase::Kind::scanning;
    setProgress(std::move(scanning));
    scanner_->resume();
}

void ScanCoordinator::pauseOrContinue()
{
    if (progress_.phase.kind() == ScanPhase::Kind::paused)
        resume();
    else
        pause();
}

void ScanCoordinator::cancel()
{
    if (task_)
        task_->cancel();
}
