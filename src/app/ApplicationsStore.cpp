#include "app/ApplicationsStore.h"

#include "app/BackgroundWork.h"
#include "app/BackgroundWorker.h"
#include "app/system/ApplicationScanner.h"
#include "app/system/DesktopApplicationScanner.h"
#include "platform/SystemPaths.h"
#include "app/SetIfChanged.h"
#include "scanning/FolderAnalyzer.h"

#include <QPointer>

struct ApplicationsStore::SizingRun {
    // A size cut short by a cancelled run is no size: that bundle is sized again.
    struct Pending {
        std::string path;
        std::vector<std::string> packages; // sized by these when there are any
    };
    std::vector<Pending> pending;
    std::size_t next = 0;
    std::shared_ptr<StorageDatabase> database;
    std::stop_source stop;
};

ApplicationsStore::ApplicationsStore(QObject* parent)
    : ApplicationsStore(
          ApplicationScanner::defaultDirectories(), &FolderAnalyzer::cachedOrCalculatedSize,
          [] {
              const DesktopApplicationScanner scanner{DebianPackages(), SystemPaths::homeDirectory()};
              return scanner.readApplications(DesktopApplicationScanner::installedEntries());
          },
          [](const std::vector<std::string>& packages, std::stop_token stop) {
              const auto size = DebianPackages().size(packages, std::move(stop));
              FolderSizeResult result;
              result.allocatedSize = size.allocatedBytes;
              result.logicalSize = size.logicalBytes;
              result.fileCount = size.fileCount;
              result.exists = size.fileCount > 0;
              result.wasCancelled = size.wasCancelled;
              return result;
          },
          parent)
{
}

ApplicationsStore::ApplicationsStore(std::vector<std::string> directories, Sizer sizer, QObject* parent)
    : ApplicationsStore(std::move(directories), std::move(sizer), {}, {}, parent)
{
}

ApplicationsStore::ApplicationsStore(std::vector<std::string> directories, Sizer sizer, DesktopLister desktop,
                                     PackageSizer packageSizer, QObject* parent)
    : QObject(parent), directories_(std::move(directories)), sizer_(std::move(sizer)), desktop_(std::move(desktop)),
      packageSizer_(std::move(packageSizer)),
      worker_(std::make_unique<BackgroundWorker>(QStringLiteral("Applications")))
{
}

ApplicationsStore::~ApplicationsStore()
{
    stopSizing();
}

void ApplicationsStore::stopSizing()
{
    if (sizing_)
        sizing_->stop.request_stop();
}

void ApplicationsStore::reload(std::shared_ptr<StorageDatabase> database, std::function<void()> finished)
{
    ++listingsRunning_;
    setLoading(true);
    // The listing waits behind the bundle being measured; the run after it sizes what
    // this one did not get to.
    stopSizing();
    worker_->request([store = QPointer(this), directories = directories_, desktop = desktop_,
                      database = std::move(database), finished = std::move(finished)](std::stop_token) mutable {
        auto apps = ApplicationScanner{directories}.scanApplications();
        if (desktop) {
            auto more = desktop();
            apps.insert(apps.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
            ApplicationScanner::sortByName(apps);
        }
        postToMainThread(store, [store, apps = std::move(apps), database = std::move(database),
                                 finished = std::move(finished)]() mutable {
            store->listingFinished(std::move(apps), std::move(database));
            if (finished)
                finished();
        });
    });
}

void ApplicationsStore::listingFinished(std::vector<ApplicationInfo> apps, std::shared_ptr<StorageDatabase> database)
{
    setIfChanged(this, apps_, std::move(apps), &ApplicationsStore::appsChanged);
    // Stays set while another reload is still listing.
    --listingsRunning_;
    setLoading(listingsRunning_ > 0);
    setIfChanged(this, loaded_, true, &ApplicationsStore::loadedChanged);
    startSizing(std::move(database));
}

void ApplicationsStore::startSizing(std::shared_ptr<StorageDatabase> database)
{
    stopSizing();
    auto run = std::make_shared<SizingRun>();
    run->database = std::move(database);
    for (const auto& app : apps_) {
        const auto known = bundleSizes_.find(app.path);
        if (known == bundleSizes_.end() || known->second.wasCancelled)
            run->pending.push_back({app.path, app.isSizedByPackage() && packageSizer_ ? app.sizedPackages
                                                                                      : std::vector<std::string>()});
    }
    sizingProgress_ = {0, static_cast<int>(run->pending.size())};
    emit sizingProgressChanged();
    sizing_ = run;
    sizeNext(run);
}

void ApplicationsStore::sizeNext(const std::shared_ptr<SizingRun>& run)
{
    if (run->stop.stop_requested() || run->next >= run->pending.size())
        return;
    const SizingRun::Pending& item = run->pending[run->next++];
    worker_->request([store = QPointer(this), run, item, sizer = sizer_,
                      packageSizer = packageSizer_](std::stop_token) {
        const std::stop_token stop = run->stop.get_token();
        if (stop.stop_requested())
            return;
        const FolderSizeResult result =
            !item.packages.empty() ? packageSizer(item.packages, stop) : sizer(item.path, run->database.get(), stop);
        postToMainThread(store, [store, run, path = item.path, result] { store->storeSize(run, path, result); });
    });
}

void ApplicationsStore::storeSize(const std::shared_ptr<SizingRun>& run, const std::string& path,
                                  const FolderSizeResult& result)
{
    // A run stopped while this bundle was measured writes nothing.
    if (run->stop.stop_requested())
        return;
    if (!result.wasCancelled) {
        bundleSizes_[path] = result;
        emit bundleSizesChanged();
    }
    sizingProgress_.done += 1;
    emit sizingProgressChanged();
    sizeNext(run);
}

void ApplicationsStore::validateSignature(const ApplicationInfo& app)
{
    signatureChecks_[app.path] = CodeSignatureStatus::notChecked();
    emit signatureChecksChanged();
    worker_->request([store = QPointer(this), path = app.path](std::stop_token) {
        auto status = ApplicationScanner::validateSignature(path);
        postToMainThread(store, [store, path, status = std::move(status)] {
            store->signatureChecks_[path] = status;
            emit store->signatureChecksChanged();
        });
    });
}

void ApplicationsStore::setLoading(bool loading)
{
    setIfChanged(this, isLoading_, loading, &ApplicationsStore::isLoadingChanged);
}
