#pragma once

#include "analysis/StorageSummary.h"
#include "analysis/VolumeInfo.h"
#include "app/system/ScanTask.h"
#include "scanning/ScanConfiguration.h"
#include "scanning/ScanProgress.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class FileScanner;
class FileSystem;
class LatestLoad;
class StorageDatabase;
class UserDefaults;

// The scan state of the whole user interface: the live progress, the dashboard
// summary, how the last scan ended, what can be resumed, and a data version that
// screens watch to reload index data. Lives on the main thread; the scan itself
// runs on its own thread and reports back through queued calls.
class ScanCoordinator : public QObject {
    Q_OBJECT

public:
    explicit ScanCoordinator(std::shared_ptr<StorageDatabase> database, QObject* parent = nullptr);
    // Cancels a running scan and waits for it, so the scan record is closed and
    // nothing writes into this object afterwards.
    ~ScanCoordinator() override;

    const ScanProgress& progress() const { return progress_; }
    const StorageSummary& summary() const { return summary_; }
    const std::optional<ScanOutcome>& lastOutcome() const { return lastOutcome_; }
    std::optional<std::int64_t> resumableScanID() const { return resumableScanID_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    int dataVersion() const { return dataVersion_; }
    bool isLoaded() const { return isLoaded_; }
    const std::shared_ptr<StorageDatabase>& database() const { return database_; }
    // The running scan; cancel it to stop the scan. Null when no scan runs.
    ScanTask* task() const { return task_.get(); }
    bool isScanActive() const { return isActive(progress_.phase); }
    // True from the start of a cache clear until its outcome is in place.
    bool isClearing() const { return isClearing_; }

    static bool isActive(const ScanPhase& phase);

    // Start-up load, once per run: closes scans an earlier run left running,
    // loads the summary and remembers a cancelled last scan as resumable.
    // `done` runs on the main thread when the load (or the one already under
    // way) has finished.
    void loadInitial(std::function<void()> done = {});
    void refreshSummary(std::function<void()> done = {});
    // Reloads the summary, then raises the data version.
    void dataChanged(std::function<void()> done = {});
    // Written by the model once the installed applications are listed; kept
    // across summary reloads.
    void setApplicationCount(std::optional<int> count);

    // Refused while a scan runs or the cache is being cleared. A cache on which damage was
    // met is set aside first and a new one started, as at opening (databaseChanged).
    void startScan(bool resume);
    // Empties the scan cache off the main thread, as one transaction. Refused (false, and
    // `done` never runs) while a scan runs or another clear does; no scan starts until it
    // has ended. Only a clear that succeeded forgets the resumable scan and the last scan's
    // progress and announces changed data; a failed one leaves everything as it was.
    // `done` runs on the main thread with the failure's description, or none on success.
    bool clearCache(std::function<void(std::optional<std::string> failure)> done = {});
    void pause();
    void resume();
    // The one pause control of menus and toolbars: continues a paused scan,
    // otherwise asks for a pause.
    void pauseOrContinue();
    // Cancels the running scan's task; the state changes arrive with the
    // scanner's outcome, as a cancelled scan that can be resumed.
    void cancel();

    // The roots a scan covers; by default built from the settings at each start. Called
    // on the scan's own thread: building them reads the mount table and the volumes.
    using RootsProvider = std::function<std::vector<std::string>()>;
    void setRootsProvider(RootsProvider provider) { rootsProvider_ = std::move(provider); }
    // The file system the scans read, the standard one unless set; it must outlive them.
    void setFileSystem(const FileSystem& fileSystem) { fileSystem_ = &fileSystem; }

    // The scan settings, read on the main thread when a scan starts.
    struct ScanSettings {
        bool includeSystemFolders = false;
        bool includeExternalVolumes = false;
        bool includeNetworkVolumes = false;
        std::vector<std::string> excludedPaths;
        int workers = 1;
    };
    static ScanSettings readSettings(const UserDefaults& defaults);
    // What a scan started with these settings would be given. The network setting counts
    // only with external volumes included.
    static std::vector<std::string> rootsFromSettings(const ScanSettings& settings,
                                                      const std::function<std::vector<VolumeInfo>(bool)>& externalVolumes);
    static int workerCount(long long setting);
    ScanConfiguration configurationFromSettings(const UserDefaults& defaults) const;
    // (total, used) of the volume that holds "/"; (0, 0) without an answer.
    static std::pair<std::int64_t, std::int64_t> volumeUsage(const std::optional<VolumeInfo>& volume);

signals:
    void progressChanged();
    void summaryChanged();
    void resumableScanIDChanged();
    void errorMessageChanged();
    void dataVersionChanged();
    void isLoadedChanged();
    void isClearingChanged();
    // database() now names a new cache, started in place of a damaged one; errorMessage()
    // says what was done.
    void databaseChanged();

private:
    friend struct ScanCoordinatorTestAccess;

    void scannerCreated(std::uint64_t run, std::shared_ptr<FileScanner> scanner);
    void apply(ScanProgress report, const FileScanner* from);
    void scanReturned(const FileScanner* from, ScanOutcome outcome);
    void scanFailed(const FileScanner* from, std::string description);
    void endScan();
    void setProgress(ScanProgress progress);
    void setSummary(StorageSummary summary);
    void setResumableScanID(std::optional<std::int64_t> id);
    void setErrorMessage(std::optional<std::string> message);
    void finishInitialLoad();
    bool setAsideIfDamaged();

    ScanProgress progress_;
    StorageSummary summary_;
    std::optional<ScanOutcome> lastOutcome_;
    std::optional<std::int64_t> resumableScanID_;
    std::optional<std::string> errorMessage_;
    int dataVersion_ = 0;
    bool isLoaded_ = false;
    bool isClearing_ = false;
    bool isReplacingDatabase_ = false;
    std::shared_ptr<StorageDatabase> database_;
    std::shared_ptr<FileScanner> scanner_;
    // Declared after the scanner so that it is destroyed (cancelled and joined) first.
    std::unique_ptr<ScanTask> task_;

    RootsProvider rootsProvider_;
    const FileSystem* fileSystem_ = nullptr;
    // Counts scan starts; a scanner reported for an earlier start is not taken.
    std::uint64_t scanRuns_ = 0;
    bool isLoadingInitial_ = false;
    std::vector<std::function<void()>> initialLoadWaiters_;
    // Summary reloads: only the newest is stored, and then every caller since the
    // last one stored is told, so that none of them sees an older summary.
    LatestLoad* summaryLoad_;
    std::vector<std::function<void()>> summaryWaiters_;
    // Interrupted scans are recovered once, before this run opens a scan record.
    struct Recovery;
    std::shared_ptr<Recovery> recovery_;
};
