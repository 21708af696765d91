#include "app/ApplicationsStore.h"

#include "index/StorageDatabase.h"
#include "scanning/FolderAnalyzer.h"
#include "app/support/AppTestSupport.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class ApplicationsStoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureCoreApplication(); }

    static void reloadAndWait(ApplicationsStore& store, std::shared_ptr<StorageDatabase> database = nullptr)
    {
        bool finished = false;
        store.reload(std::move(database), [&] { finished = true; });
        ASSERT_TRUE(waitUntil([&] { return finished; }));
    }

    static bool sizingDone(const ApplicationsStore& store)
    {
        const auto progress = store.sizingProgress();
        return progress.done == progress.total;
    }

    void bundle(const std::string& name, std::size_t bytes = 100)
    {
        dir.write("Applications/" + name + ".app/Contents/MacOS/" + name, bytes);
    }

    std::string bundlePath(const std::string& name) const { return dir.file("Applications/" + name + ".app"); }

    TempDir dir;
};

// Sizes with the real analyzer and remembers what it was asked.
struct CountingSizer {
    std::shared_ptr<std::vector<std::string>> calls = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();

    FolderSizeResult operator()(const std::string& path, StorageDatabase* database, std::stop_token stop) const
    {
        {
            std::lock_guard lock(*mutex);
            calls->push_back(path);
        }
        return FolderAnalyzer::cachedOrCalculatedSize(path, database, stop);
    }
    std::size_t count() const
    {
        std::lock_guard lock(*mutex);
        return calls->size();
    }
};

} // namespace

TEST_F(ApplicationsStoreTest, ListsThenSizesOnlyBundlesWithoutASize)
{
    bundle("Beta", 300);
    bundle("Alpha", 100);
    CountingSizer sizer;
    ApplicationsStore store({dir.file("Applications")}, sizer);
    int appsChanges = 0;
    int progressChanges = 0;
    QObject::connect(&store, &ApplicationsStore::appsChanged, [&] { ++appsChanges; });
    QObject::connect(&store, &ApplicationsStore::sizingProgressChanged, [&] { ++progressChanges; });

    bool finished = false;
    store.reload(nullptr, [&] { finished = true; });
    EXPECT_TRUE(store.isLoading());
    EXPECT_FALSE(store.loaded());
    ASSERT_TRUE(waitUntil([&] { return finished; }));
    EXPECT_FALSE(store.isLoading());
    EXPECT_TRUE(store.loaded());
    ASSERT_EQ(store.apps().size(), 2u);
    EXPECT_EQ(store.apps()[0].name, "Alpha");
    EXPECT_EQ(store.apps()[1].name, "Beta");
    EXPECT_EQ(store.sizingProgress().total, 2);

    ASSERT_TRUE(waitUntil([&] { return sizingDone(store) && store.bundleSizes().size() == 2; }));
    EXPECT_EQ(store.bundleSizes().at(bundlePath("Alpha")).logicalSize, 100);
    EXPECT_EQ(store.bundleSizes().at(bundlePath("Beta")).logicalSize, 300);
    EXPECT_EQ(store.bundleSizes().at(bundlePath("Beta")).folderCount, 2);
    EXPECT_EQ(appsChanges, 1);

    // Unchanged list, every bundle sized: nothing to do and no change of the list.
    progressChanges = 0;
    reloadAndWait(store);
    EXPECT_EQ(appsChanges, 1);
    EXPECT_EQ(store.sizingProgress().done, 0);
    EXPECT_EQ(store.sizingProgress().total, 0);
    EXPECT_EQ(progressChanges, 1);

    // A new bundle is the only one sized; a bundle gone from disk keeps its size.
    bundle("Gamma", 50);
    fs::remove_all(bundlePath("Beta"));
    reloadAndWait(store);
    EXPECT_EQ(appsChanges, 2);
    EXPECT_EQ(store.sizingProgress().total, 1);
    ASSERT_TRUE(waitUntil([&] { return sizingDone(store); }));
    EXPECT_EQ(store.bundleSizes().at(bundlePath("Gamma")).logicalSize, 50);
    EXPECT_EQ(store.bundleSizes().count(bundlePath("Beta")), 1u);
    EXPECT_EQ(sizer.count(), 3u);
}

TEST_F(ApplicationsStoreTest, NoApplicationsFinishesAtOnce)
{
    dir.makeFolder("Applications");
    CountingSizer sizer;
    ApplicationsStore store({dir.file("Applications"), dir.file("missing")}, sizer);
    reloadAndWait(store);
    EXPECT_TRUE(store.loaded());
    EXPECT_TRUE(store.apps().empty());
    EXPECT_EQ(store.sizingProgress().done, 0);
    EXPECT_EQ(store.sizingProgress().total, 0);
    EXPECT_EQ(sizer.count(), 0u);
}

TEST_F(ApplicationsStoreTest, TakesScannedBundlesFromTheIndex)
{
    bundle("Indexed", 100);
    bundle("Unscanned", 200);
    bundle("Unknown", 400);
    auto database = std::make_shared<StorageDatabase>(dir.file("cache.sqlite"));
    // Indexed.app was read by a scan (and found restricted); Unscanned.app is only known as a child.
    const auto scanID = database->beginScan({bundlePath("Indexed")});
    DirectorySnapshot indexed;
    indexed.path = bundlePath("Indexed");
    indexed.name = "Indexed.app";
    indexed.isRestricted = true;
    indexed.files.push_back({"big", "", 999999, 1 << 20, 1 << 20, 1, 1, 1, {}, 5, StorageCategory::applications});
    database->syncDirectory(indexed, scanID);
    DirectorySnapshot parent;
    parent.path = dir.file("Applications");
    parent.name = "Applications";
    parent.subdirectories.push_back({"Unscanned.app", 1});
    database->syncDirectory(parent, scanID);
    database->finishScan(scanID, {bundlePath("Indexed")}, ScanRecord::Status::cancelled, 0, 0, 0, 0, 0);

    ApplicationsStore store({dir.file("Applications")}, &FolderAnalyzer::cachedOrCalculatedSize);
    reloadAndWait(store, database);
    ASSERT_TRUE(waitUntil([&] { return sizingDone(store); }));
    const auto& sizes = store.bundleSizes();
    EXPECT_EQ(sizes.at(bundlePath("Indexed")).logicalSize, 999999);
    EXPECT_EQ(sizes.at(bundlePath("Indexed")).restrictedFolderCount, 1);
    EXPECT_EQ(sizes.at(bundlePath("Unscanned")).logicalSize, 200);
    EXPECT_EQ(sizes.at(bundlePath("Unknown")).logicalSize, 400);
}

TEST_F(ApplicationsStoreTest, StoppedSizingWritesNothingAndIsRedone)
{
    bundle("Alpha", 100);
    bundle("Beta", 200);
    // The first measurement runs until its run is stopped, then reports a cut-short size.
    std::atomic<bool> firstStarted = false;
    std::atomic<int> calls = 0;
    auto sizer = [&](const std::string& path, StorageDatabase* database, std::stop_token stop) {
        if (calls++ == 0) {
            firstStarted = true;
            while (!stop.stop_requested())
                std::this_thread::sleep_for(1ms);
            return FolderSizeResult{1, 1, 1, 0, 0, true, true};
        }
        return FolderAnalyzer::cachedOrCalculatedSize(path, database, stop);
    };
    ApplicationsStore store({dir.file("Applications")}, sizer);
    bool sawCutShortSize = false;
    bool sawOvercount = false;
    QObject::connect(&store, &ApplicationsStore::bundleSizesChanged, [&] {
        for (const auto& [path, size] : store.bundleSizes())
            sawCutShortSize |= size.wasCancelled;
    });
    QObject::connect(&store, &ApplicationsStore::sizingProgressChanged,
                     [&] { sawOvercount |= store.sizingProgress().done > store.sizingProgress().total; });

    store.reload(nullptr);
    ASSERT_TRUE(waitUntil([&] { return firstStarted.load(); }));
    reloadAndWait(store);
    EXPECT_EQ(store.sizingProgress().total, 2);
    ASSERT_TRUE(waitUntil([&] { return sizingDone(store) && store.bundleSizes().size() == 2; }));
    // A late write of the stopped run was queued before the listing's answer, so it
    // has been handled by now.
    EXPECT_FALSE(sawCutShortSize);
    EXPECT_FALSE(sawOvercount);
    EXPECT_EQ(store.sizingProgress().done, 2);
    EXPECT_EQ(store.bundleSizes().at(bundlePath("Alpha")).logicalSize, 100);
    EXPECT_EQ(calls.load(), 3);
}

TEST_F(ApplicationsStoreTest, ReleasedStoreStopsItsSizing)
{
    bundle("Slow");
    std::atomic<bool> started = false;
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    auto sizer = [&started, stopped](const std::string&, StorageDatabase*, std::stop_token stop) {
        started = true;
        while (!stop.stop_requested())
            std::this_thread::sleep_for(1ms);
        *stopped = true;
        return FolderSizeResult{};
    };
    auto store = std::make_unique<ApplicationsStore>(std::vector<std::string>{dir.file("Applications")}, sizer);
    store->reload(nullptr);
    ASSERT_TRUE(waitUntil([&] { return started.load(); }));
    store.reset();
    EXPECT_TRUE(stopped->load());
    QCoreApplication::processEvents();
}

TEST_F(ApplicationsStoreTest, SignatureCheckShowsRunningThenResult)
{
    bundle("Signed");
    ApplicationsStore store({dir.file("Applications")}, CountingSizer{});
    reloadAndWait(store);
    ASSERT_EQ(store.apps().size(), 1u);
    const ApplicationInfo app = store.apps().front();

    store.validateSignature(app);
    EXPECT_EQ(store.signatureChecks().at(app.path), CodeSignatureStatus::notChecked());
    ASSERT_TRUE(waitUntil([&] { return store.signatureChecks().at(app.path) != CodeSignatureStatus::notChecked(); }));
    EXPECT_EQ(store.signatureChecks().at(app.path),
              CodeSignatureStatus::unavailable("Code signatures cannot be checked on this system"));
    EXPECT_EQ(store.apps().front().signature, app.signature);
    ASSERT_TRUE(waitUntil([&] { return sizingDone(store); }));
}

TEST_F(ApplicationsStoreTest, ListsDesktopApplicationsBesideBundlesAndSizesPackagesByTheirFiles)
{
    bundle("Beta", 300);
    dir.write("opt/Tool/bin/tool", 40);
    ApplicationInfo packaged;
    packaged.name = "alpha";
    packaged.path = dir.write("share/applications/alpha.desktop", "x");
    packaged.desktopEntryPath = packaged.path;
    packaged.source = InstallSource::debian;
    packaged.packageName = "alpha-package";
    packaged.sizedPackages = {"alpha", "alpha-package"};
    ApplicationInfo owned;
    owned.name = "Tool";
    owned.path = dir.file("opt/Tool");
    owned.desktopEntryPath = dir.write("share/applications/tool.desktop", "x");
    owned.source = InstallSource::debian;
    owned.packageName = "tool-package";
    owned.sizedPackages = {"tool-package"};

    CountingSizer sizer;
    auto packagesAsked = std::make_shared<std::vector<std::vector<std::string>>>();
    ApplicationsStore store(
        {dir.file("Applications")}, sizer, [=] { return std::vector<ApplicationInfo>{owned, packaged}; },
        [packagesAsked](const std::vector<std::string>& packages, std::stop_token) {
            packagesAsked->push_back(packages);
            FolderSizeResult result;
            result.allocatedSize = 4096;
            result.exists = true;
            return result;
        });
    reloadAndWait(store);
    std::vector<std::string> names;
    for (const auto& app : store.apps()) names.push_back(app.name);
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "Tool"}));

    ASSERT_TRUE(waitUntil([&] { return sizingDone(store) && store.bundleSizes().size() == 3; }));
    // Only the application without a folder of its own is sized by its packages' files.
    EXPECT_EQ(*packagesAsked, (std::vector<std::vector<std::string>>{{"alpha", "alpha-package"}}));
    EXPECT_EQ(store.bundleSizes().at(packaged.path).allocatedSize, 4096);
    EXPECT_EQ(store.bundleSizes().at(owned.path).logicalSize, 40);
    EXPECT_EQ(sizer.count(), 2u);
}

// Run by the next test in a process of its own: a store whose desktop listing blocks
// for good on a FIFO is released, and the process ends all the same, without a Qt
// message about a running thread.
TEST(ApplicationsStoreQuitting, ChildReleasesAStoreWhoseListingBlocksForGood)
{
    const char* fifo = std::getenv("KESTREL_BLOCKING_FIFO");
    if (!fifo)
        GTEST_SKIP() << "run by QuittingNeverWaitsForABlockedListing";
    static bool messaged = false;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) { messaged = true; });
    int argc = 1;
    char name[] = "child";
    char* argv[] = {name, nullptr};
    {
        QCoreApplication application(argc, argv);
        std::atomic<bool> listing = false;
        auto store = std::make_unique<ApplicationsStore>(
            std::vector<std::string>{}, CountingSizer{},
            [&listing, path = std::string(fifo)] {
                listing = true;
                // No writer ever comes: the open blocks for good.
                const int descriptor = ::open(path.c_str(), O_RDONLY);
                if (descriptor >= 0)
                    ::close(descriptor);
                return std::vector<ApplicationInfo>{};
            },
            ApplicationsStore::PackageSizer{});
        store->reload(nullptr);
        ASSERT_TRUE(eventually([&] { return listing.load(); }));
        store.reset();
    }
    EXPECT_FALSE(messaged);
}

TEST(ApplicationsStoreQuitting, QuittingNeverWaitsForABlockedListing)
{
    TempDir dir;
    const std::string fifo = dir.file("x.desktop");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ScopedEnvironment blocking("KESTREL_BLOCKING_FIFO", fifo);
    ChildProcess child(fs::read_symlink("/proc/self/exe").string(),
                       "--gtest_filter=ApplicationsStoreQuitting.ChildReleasesAStoreWhoseListingBlocksForGood");
    ASSERT_TRUE(eventually([&] { return !child.isRunning(); })) << "the process stayed after its store was released";
    const int status = child.reap();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
