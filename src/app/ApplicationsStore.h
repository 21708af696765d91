#pragma once

#include "index/ApplicationRecords.h"
#include "index/FileRecords.h"

#include <QObject>

#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

class BackgroundWorker;
class StorageDatabase;

// The installed applications, their bundle sizes and the signature checks the user
// asked for. Lives on the main thread; listing, sizing and checks run one at a time
// on the store's worker and report back through queued calls. Bundles are sized one
// request each, so that a check asked for meanwhile waits for one bundle at most.
class ApplicationsStore : public QObject {
    Q_OBJECT

public:
    struct SizingProgress {
        int done = 0;
        int total = 0;
    };

    // Sizes one bundle; the store passes its database (may be null) and the stop
    // token of the sizing run.
    using Sizer = std::function<FolderSizeResult(const std::string& path, StorageDatabase* database,
                                                 std::stop_token stop)>;

    // The desktop applications, listed on the listing thread beside the bundles.
    using DesktopLister = std::function<std::vector<ApplicationInfo>()>;
    // Sizes the files of Debian packages, for an application without a folder of its own.
    using PackageSizer = std::function<FolderSizeResult(const std::vector<std::string>& packages, std::stop_token stop)>;

    // Searches ApplicationScanner::defaultDirectories() and the desktop's entries,
    // and sizes through the index, a walk of the application's folder, or its package's files.
    explicit ApplicationsStore(QObject* parent = nullptr);
    ApplicationsStore(std::vector<std::string> directories, Sizer sizer, QObject* parent = nullptr);
    ApplicationsStore(std::vector<std::string> directories, Sizer sizer, DesktopLister desktop,
                      PackageSizer packageSizer, QObject* parent = nullptr);
    // Stops the sizing run; work that does not end within the worker's bound is left behind.
    ~ApplicationsStore() override;

    const std::vector<ApplicationInfo>& apps() const { return apps_; }
    // Keyed by bundle path; entries of bundles gone in a later listing stay.
    const std::unordered_map<std::string, FolderSizeResult>& bundleSizes() const { return bundleSizes_; }
    bool isLoading() const { return isLoading_; }
    SizingProgress sizingProgress() const { return sizingProgress_; }
    // notChecked while a check of that bundle runs.
    const std::unordered_map<std::string, CodeSignatureStatus>& signatureChecks() const { return signatureChecks_; }
    bool loaded() const { return loaded_; }

    // Stops the sizing run, lists the applications again in the background, then
    // sizes the bundles that have no size yet; `finished` runs on the main thread
    // once the list is in place (sizing goes on after it).
    void reload(std::shared_ptr<StorageDatabase> database, std::function<void()> finished = {});

    // Runs a full signature check of the bundle in the background and records it
    // in signatureChecks() under its path; the entry in apps() keeps its status.
    void validateSignature(const ApplicationInfo& app);

signals:
    void appsChanged();
    void bundleSizesChanged();
    void isLoadingChanged();
    void sizingProgressChanged();
    void signatureChecksChanged();
    void loadedChanged();

private:
    struct SizingRun;

    void startSizing(std::shared_ptr<StorageDatabase> database);
    void sizeNext(const std::shared_ptr<SizingRun>& run);
    void storeSize(const std::shared_ptr<SizingRun>& run, const std::string& path, const FolderSizeResult& result);
    void stopSizing();
    void setLoading(bool loading);
    void listingFinished(std::vector<ApplicationInfo> apps, std::shared_ptr<StorageDatabase> database);

    std::vector<std::string> directories_;
    Sizer sizer_;
    DesktopLister desktop_;
    PackageSizer packageSizer_;

    std::vector<ApplicationInfo> apps_;
    std::unordered_map<std::string, FolderSizeResult> bundleSizes_;
    bool isLoading_ = false;
    int listingsRunning_ = 0;
    SizingProgress sizingProgress_;
    std::unordered_map<std::string, CodeSignatureStatus> signatureChecks_;
    bool loaded_ = false;

    // The current run; a run that was replaced or stopped has its stop requested and
    // stores nothing more.
    std::shared_ptr<SizingRun> sizing_;
    // Last, so that it goes first: no request runs once the rest is gone.
    std::unique_ptr<BackgroundWorker> worker_;
};
