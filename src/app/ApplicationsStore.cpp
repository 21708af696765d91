#include "app/ApplicationsStore.h"

#include "app/system/ApplicationScanner.h"
#include "app/BackgroundWork.h"
#include "app/system/DesktopApplicationScanner.h"
#include "platform/SystemPaths.h"
#include "app/SetIfChanged.h"
#include "scanning/FolderAnalyzer.h"

#include <QPointer>

namespace {

// Runs `apply` on the main thread unless the store is gone by then.
template <class Apply>
void post(QPointer<ApplicationsStore> store, Apply apply)
{
    postToMainThread(store, [store, apply = std::move(apply)]() mutable { apply(*store); });
}

} // namespace

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
      packageSizer_(std::move(packageSizer))
{
}

ApplicationsStore::~ApplicationsStore()
{
    sizingTask_.request_stop();
    for (auto& task : tasks_)
        task.thread.request_stop();
}

void ApplicationsStore::reload(std::shared_ptr<StorageDatabase> database, std::function<void()> finished)
{
    ++listingsRunning_;
    setLoading(true);
    startTask([store = QPointer(this), directories = directories_, desktop = desktop_, database = std::move(database),
               finished = std::move(finished)](std::stop_token) mutable {
        auto apps = ApplicationScanner{directories}.scanApplications();
        if (desktop) {
            auto more = desktop();
            apps.insert(apps.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
            ApplicationScanner::sortByName(apps);
        }
        post(store, [apps = std::move(apps), database = std::move(database),
                     finished = std::move(finished)](ApplicationsStore& self) mutable {
            self.listingFinished(std::move(apps), std::move(database));
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
    reapFinishedTasks();
}

void ApplicationsStore::startSizing(std::shared_ptr<StorageDatabase> database)
{
    sizingTask_.request_stop();

    // A size cut short by a cancelled run is no size: that bundle is sized again.
    struct Pending {
        std::string path;
        std::vector<std::string> packages; // sized by these when there are any
    };
    std::vector<Pending> pending;
    for (const auto& app : apps_) {
        const auto known = bundleSizes_.find(app.path);
        if (known == bundleSizes_.end() || known->second.wasCancelled)
            pending.push_back({app.path, app.isSizedByPackage() && packageSizer_ ? app.sizedPackages
                                                                                 : std::vector<std::string>()});
    }
    sizingProgress_ = {0, static_cast<int>(pending.size())};
    emit sizingProgressChanged();

    const std::uint64_t run = ++sizingRun_;
    // The new run waits for the previous one to leave its current bundle, so that
    // only one bundle is looked up or measured at a time.
    sizingTask_ = std::jthread([previous = std::move(sizingTask_), store = QPointer(this), pending = std::move(pending),
                                database = std::move(database), sizer = sizer_, packageSizer = packageSizer_,
                                run](std::stop_token stop) mutable {
        if (previous.joinable())
            previous.join();
        for (const auto& item : pending) {
            if (stop.stop_requested())
                return;
            const std::string& path = item.path;
            const FolderSizeResult result =
                !item.packages.empty() ? packageSizer(item.packages, stop) : sizer(path, database.get(), stop);
            // A run stopped while this bundle was measured writes nothing.
            if (stop.stop_requested())
                return;
            post(store, [run, path, result](ApplicationsStore& self) { self.storeSize(run, path, result); });
        }
    });
}

void ApplicationsStore::storeSize(std::uint64_t run, const std::string& path, const FolderSizeResult& result)
{
    if (run != sizingRun_)
        return;
    if (!result.wasCancelled) {
        bundleSizes_[path] = result;
        emit bundleSizesChanged();
    }
    sizingProgress_.done += 1;
    emit sizingProgressChanged();
}

void ApplicationsStore::validateSignature(const ApplicationInfo& app)
{
    signatureChecks_[app.path] = CodeSignatureStatus::notChecked();
    emit signatureChecksChanged();
    startTask([store = QPointer(this), path = app.path](std::stop_token) {
        auto status = ApplicationScanner::validateSignature(path);
        post(store, [path, status = std::move(status)](ApplicationsStore& self) {
            self.signatureChecks_[path] = status;
            emit self.signatureChecksChanged();
            self.reapFinishedTasks();
        });
    });
}

void ApplicationsStore::startTask(std::function<void(std::stop_token)> work)
{
    reapFinishedTasks();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    tasks_.push_back({std::jthread([work = std::move(work), finished](std::stop_token stop) {
                          work(stop);
                          finished->store(true);
                      }),
                      finished});
}

void ApplicationsStore::reapFinishedTasks()
{
    tasks_.remove_if([](const Task& task) { return task.finished->load(); });
}

void ApplicationsStore::setLoading(bool loading)
{
    setIfChanged(this, isLoading_, loading, &ApplicationsStore::isLoadingChanged);
}
