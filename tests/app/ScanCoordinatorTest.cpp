#include "app/support/AppTestSupport.h"

#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "app/support/SettingsFolder.h"
#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "scanning/FileScanner.h"
#include "support/ScriptedFileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace {

using Kind = ScanPhase::Kind;

class ScanCoordinatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureCoreApplication();
        settingsDir.useForStandard();
        SettingsKey::registerDefaults();
        for (int folder = 0; folder < 6; ++folder)
            for (int file = 0; file < 25; ++file)
                tree.write("root/f" + std::to_string(folder) + "/sub/file" + std::to_string(file) + ".txt", 3000);
        tree.write("second/notes.md", "hello");
        database = std::make_shared<StorageDatabase>(cacheDir.file("ScanCache.sqlite"));
    }

    std::unique_ptr<ScanCoordinator> makeCoordinator(std::shared_ptr<StorageDatabase> db)
    {
        auto coordinator = std::make_unique<ScanCoordinator>(std::move(db));
        coordinator->setRootsProvider([this] { return std::vector<std::string>{tree.file("root"), tree.file("second")}; });
        return coordinator;
    }

    // Starts a scan with one reader and pauses it in its third folder read, so that folders
    // are left whenever it ends.
    static void startPaused(ScanCoordinator& coordinator, ScriptedFileSystem& fileSystem)
    {
        UserDefaults::standard().setValue(SettingsKey::scanConcurrency, 1);
        fileSystem.holdAtRead(3);
        coordinator.setFileSystem(fileSystem);
        coordinator.startScan(false);
        ASSERT_TRUE(fileSystem.waitUntilHeld());
        const bool scanning = waitUntil([&] { return coordinator.progress().phase.kind() == Kind::scanning; });
        if (scanning)
            coordinator.pause();
        fileSystem.releaseRead();
        ASSERT_TRUE(scanning);
        FileScanner* scanner = ScanCoordinatorTestAccess::scanner(coordinator);
        ASSERT_TRUE(scanner);
        ASSERT_TRUE(waitUntil([&] { return scanner->waitingReaders() == 1; }));
    }

    // Runs the event loop until the scan has ended and its data-changed step is done.
    static void waitForEnd(ScanCoordinator& c, int versionBefore)
    {
        ASSERT_TRUE(waitUntil([&] { return c.task() == nullptr && c.dataVersion() > versionBefore; }));
    }

    SettingsFolder settingsDir;
    TempDir cacheDir;
    TempDir tree;
    std::shared_ptr<StorageDatabase> database;
};

TEST_F(ScanCoordinatorTest, CompletedScanGoesThroughThePhasesAndStoresItsEnd)
{
    auto coordinator = makeCoordinator(database);
    std::vector<Kind> phases;
    QObject::connect(coordinator.get(), &ScanCoordinator::progressChanged, [&] {
        const Kind kind = coordinator->progress().phase.kind();
        if (phases.empty() || phases.back() != kind)
            phases.push_back(kind);
    });

    coordinator->startScan(false);
    ASSERT_NE(coordinator->task(), nullptr);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::preparing);
    EXPECT_FALSE(coordinator->progress().isResumed);
    EXPECT_TRUE(coordinator->progress().startedAt.has_value());
    waitForEnd(*coordinator, 0);

    ASSERT_GE(phases.size(), 2u);
    EXPECT_EQ(phases.front(), Kind::preparing);
    EXPECT_EQ(phases.back(), Kind::completed);
    // Phases only move forward through the table.
    const std::vector<Kind> order{Kind::preparing, Kind::scanning, Kind::finalizing, Kind::completed};
    std::size_t at = 0;
    for (Kind kind : phases) {
        while (at < order.size() && order[at] != kind)
            ++at;
        EXPECT_LT(at, order.size()) << "unexpected phase order";
    }

    EXPECT_EQ(coordinator->progress().filesScanned, 151);
    ASSERT_TRUE(coordinator->lastOutcome().has_value());
    EXPECT_EQ(coordinator->lastOutcome()->status, ScanRecord::Status::completed);
    EXPECT_FALSE(coordinator->resumableScanID().has_value());
    EXPECT_FALSE(coordinator->errorMessage().has_value());
    EXPECT_EQ(coordinator->dataVersion(), 1);
    ASSERT_TRUE(coordinator->summary().lastScan.has_value());
    EXPECT_EQ(coordinator->summary().lastScan->status, ScanRecord::Status::completed);
    EXPECT_EQ(coordinator->summary().totals.fileCount, 151);
    EXPECT_TRUE(database->folder(tree.file("root")).has_value());
    EXPECT_TRUE(database->folder(tree.file("second")).has_value());
}

TEST_F(ScanCoordinatorTest, CancelledScanBecomesResumableAndAResumeCompletesIt)
{
    auto coordinator = makeCoordinator(database);
    coordinator->startScan(false);
    coordinator->task()->cancel();
    waitForEnd(*coordinator, 0);

    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::cancelled);
    ASSERT_TRUE(coordinator->lastOutcome().has_value());
    EXPECT_EQ(coordinator->lastOutcome()->status, ScanRecord::Status::cancelled);
    ASSERT_TRUE(coordinator->resumableScanID().has_value());
    const std::int64_t cancelledID = *coordinator->resumableScanID();
    EXPECT_EQ(cancelledID, coordinator->lastOutcome()->scanID);

    coordinator->startScan(true);
    EXPECT_TRUE(coordinator->progress().isResumed);
    // Still resumable until the resumed scan ends.
    EXPECT_EQ(coordinator->resumableScanID(), cancelledID);
    waitForEnd(*coordinator, 1);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::completed);
    EXPECT_EQ(coordinator->lastOutcome()->scanID, cancelledID);
    EXPECT_FALSE(coordinator->resumableScanID().has_value());
    EXPECT_EQ(coordinator->summary().totals.fileCount, 151);
}

TEST_F(ScanCoordinatorTest, AScanThatEndsFailedSaysWhyInItsMessage)
{
    auto coordinator = makeCoordinator(database);
    coordinator->startScan(false);
    ScanOutcome outcome;
    outcome.status = ScanRecord::Status::failed;
    outcome.progress.phase = ScanPhase::failed("The disk that holds the scan cache (/var) is full");
    ScanCoordinatorTestAccess::returned(*coordinator, outcome);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::failed);
    EXPECT_EQ(coordinator->errorMessage(), "The scan failed: The disk that holds the scan cache (/var) is full");
    EXPECT_FALSE(coordinator->resumableScanID().has_value());
}

// Damage that the opening let through (a large cache is not read whole) and a scan then met:
// the cache is set aside as at opening, and the next scan fills a new, sound one.
TEST_F(ScanCoordinatorTest, ACacheFoundDamagedDuringAScanIsSetAsideAndTheNextScanStartsAfresh)
{
    const std::string path = database->path();
    {
        auto first = makeCoordinator(database);
        first->startScan(false);
        waitForEnd(*first, 0);
        ASSERT_EQ(first->summary().totals.fileCount, 151);
    }
    database.reset();
    {
        SQLiteConnection db(path);
        const std::int64_t pageSize = db.scalarInt("PRAGMA page_size");
        const std::int64_t page = db.scalarInt("SELECT rootpage FROM sqlite_schema WHERE name = 'files'");
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp((page - 1) * pageSize);
        const std::string zeros(static_cast<std::size_t>(pageSize), '\0');
        file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }
    // A file the scan must store, so that it writes to the damaged table: a folder found
    // unchanged is taken by its digest, without reading its file rows.
    tree.write("root/f0/sub/new.txt", 3000);
    database = std::make_shared<StorageDatabase>(path);
    auto coordinator = makeCoordinator(database);
    int replaced = 0;
    QObject::connect(coordinator.get(), &ScanCoordinator::databaseChanged, [&] { ++replaced; });

    coordinator->startScan(false);
    ASSERT_TRUE(waitUntil([&] { return replaced == 1 && coordinator->dataVersion() > 0; }));
    ASSERT_NE(coordinator->database(), nullptr);
    EXPECT_NE(coordinator->database(), database);
    ASSERT_TRUE(coordinator->errorMessage().has_value());
    EXPECT_NE(coordinator->errorMessage()->find("could not be read (SQLite error 11"), std::string::npos)
        << *coordinator->errorMessage();
    EXPECT_NE(coordinator->errorMessage()->find("It was set aside as ScanCache.sqlite.unreadable-"), std::string::npos)
        << *coordinator->errorMessage();
    EXPECT_FALSE(coordinator->resumableScanID().has_value());
    database.reset();   // the damaged cache, now under its new name, closes

    const int version = coordinator->dataVersion();
    coordinator->startScan(false);
    waitForEnd(*coordinator, version);
    EXPECT_EQ(coordinator->lastOutcome()->status, ScanRecord::Status::completed);
    EXPECT_EQ(coordinator->summary().totals.fileCount, 152);
    EXPECT_EQ(replaced, 1);
    // The new cache lives on at the cache's place, its log companions its own.
    coordinator.reset();
    StorageDatabase reopened(path);
    EXPECT_EQ(reopened.totals().fileCount, 152);
}

TEST_F(ScanCoordinatorTest, AReadOnlyCacheShowsItsLastScanAndStartsNoScan)
{
    {
        auto coordinator = makeCoordinator(database);
        coordinator->startScan(false);
        waitForEnd(*coordinator, 0);
    }
    // The writing connection is closed, as for a user who cannot write the cache, before it is
    // opened read-only: whatever of the first coordinator still holds it lets go of it first,
    // since its close removes the log a read-only connection reads through.
    const std::string path = database->path();
    const std::weak_ptr<StorageDatabase> writing = database;
    database.reset();
    ASSERT_TRUE(waitUntil([&] { return finishBackgroundWork() && writing.expired(); }));
    auto readOnly = std::make_shared<StorageDatabase>(path, SQLiteConnection::Access::readOnly);
    auto coordinator = makeCoordinator(readOnly);
    bool loaded = false;
    coordinator->loadInitial([&] { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    ASSERT_TRUE(coordinator->summary().lastScan.has_value());
    EXPECT_EQ(coordinator->summary().lastScan->status, ScanRecord::Status::completed);
    EXPECT_EQ(coordinator->summary().totals.fileCount, 151);

    coordinator->startScan(false);
    EXPECT_EQ(coordinator->task(), nullptr);
    ASSERT_TRUE(coordinator->errorMessage().has_value());
    EXPECT_NE(coordinator->errorMessage()->find("cannot be written"), std::string::npos);
}

TEST_F(ScanCoordinatorTest, ResumeWithNothingResumableIsAFreshScanNotMarkedResumed)
{
    auto coordinator = makeCoordinator(database);
    coordinator->startScan(true);
    EXPECT_FALSE(coordinator->progress().isResumed);
    waitForEnd(*coordinator, 0);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::completed);
    EXPECT_FALSE(coordinator->progress().isResumed);
}

TEST_F(ScanCoordinatorTest, StartPauseAndResumeAreIgnoredAtTheWrongMoment)
{
    auto coordinator = makeCoordinator(database);
    coordinator->pause();
    coordinator->resume();
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::idle);

    coordinator->startScan(false);
    ScanTask* first = coordinator->task();
    const double startedAt = *coordinator->progress().startedAt;
    coordinator->pause();   // still preparing
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::preparing);
    coordinator->startScan(false);
    EXPECT_EQ(coordinator->task(), first);
    EXPECT_EQ(*coordinator->progress().startedAt, startedAt);

    // A report taken before the scanner saw the pause does not undo it; after
    // resume a stale paused report shows paused until the next one.
    ScanProgress scanning = coordinator->progress();
    scanning.phase = Kind::scanning;
    ScanCoordinatorTestAccess::report(*coordinator, scanning);
    coordinator->pause();
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::paused);
    ScanCoordinatorTestAccess::report(*coordinator, scanning);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::paused);
    coordinator->resume();
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::scanning);
    ScanProgress stalePaused = scanning;
    stalePaused.phase = Kind::paused;
    ScanCoordinatorTestAccess::report(*coordinator, stalePaused);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::paused);
    coordinator->resume();

    waitForEnd(*coordinator, 0);
    const ScanProgress ended = coordinator->progress();
    // Late reports after the end change nothing.
    ScanCoordinatorTestAccess::report(*coordinator, scanning);
    EXPECT_EQ(coordinator->progress(), ended);
}

TEST_F(ScanCoordinatorTest, CancellingWhilePausedEndsTheScanAsResumable)
{
    ScriptedFileSystem fileSystem;
    auto coordinator = makeCoordinator(database);
    ASSERT_NO_FATAL_FAILURE(startPaused(*coordinator, fileSystem));
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::paused);
    coordinator->task()->cancel();
    waitForEnd(*coordinator, 0);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::cancelled);
    EXPECT_TRUE(coordinator->resumableScanID().has_value());
}

TEST_F(ScanCoordinatorTest, AScanThatCannotRunEndsFailedAndKeepsWhatWasResumable)
{
    // A scan left running by an earlier run is what can be resumed; a cancel of a
    // scan of this small tree could come too late to leave one.
    const std::int64_t leftRunning = database->beginScan({tree.file("root")});
    auto coordinator = makeCoordinator(database);
    bool loaded = false;
    coordinator->loadInitial([&] { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    ASSERT_EQ(coordinator->resumableScanID(), leftRunning);

    // Another hand takes the scans table away: the scanner cannot open its record.
    SQLiteConnection(cacheDir.file("ScanCache.sqlite")).execute("DROP TABLE scans");
    const int version = coordinator->dataVersion();
    coordinator->startScan(false);
    waitForEnd(*coordinator, version);
    const ScanPhase phase = coordinator->progress().phase;
    ASSERT_EQ(phase.kind(), Kind::failed);
    EXPECT_FALSE(phase.message().empty());
    EXPECT_EQ(coordinator->errorMessage(), "The scan failed: " + phase.message());
    EXPECT_EQ(coordinator->resumableScanID(), leftRunning);
    EXPECT_FALSE(coordinator->lastOutcome().has_value());

    // The next start clears the message before anything else happens.
    coordinator->startScan(false);
    EXPECT_FALSE(coordinator->errorMessage().has_value());
    waitForEnd(*coordinator, version + 1);
}

TEST_F(ScanCoordinatorTest, WithoutADatabaseNothingScansButTheDiskIsReadAndTheVersionStillMoves)
{
    auto coordinator = makeCoordinator(nullptr);
    bool loaded = false;
    coordinator->loadInitial([&] { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    EXPECT_TRUE(coordinator->isLoaded());
    EXPECT_TRUE(coordinator->summary().volume.has_value());
    coordinator->startScan(false);
    EXPECT_EQ(coordinator->task(), nullptr);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::idle);
    coordinator->dataChanged();
    coordinator->dataChanged();
    EXPECT_TRUE(waitUntil([&] { return coordinator->dataVersion() == 2; }));
}

TEST_F(ScanCoordinatorTest, InitialLoadRecoversALeftRunningScanOnceAndKeepsTheApplicationCount)
{
    const std::int64_t leftRunning = database->beginScan({tree.file("root")});
    auto coordinator = makeCoordinator(database);
    coordinator->setApplicationCount(57);
    int loadedChanges = 0, resumableChanges = 0, summaryChanges = 0;
    QObject::connect(coordinator.get(), &ScanCoordinator::isLoadedChanged, [&] { ++loadedChanges; });
    QObject::connect(coordinator.get(), &ScanCoordinator::resumableScanIDChanged, [&] { ++resumableChanges; });
    QObject::connect(coordinator.get(), &ScanCoordinator::summaryChanged, [&] { ++summaryChanges; });
    bool done = false;
    coordinator->loadInitial([&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_TRUE(coordinator->isLoaded());
    EXPECT_EQ(coordinator->resumableScanID(), leftRunning);
    ASSERT_TRUE(coordinator->summary().lastScan.has_value());
    EXPECT_EQ(coordinator->summary().lastScan->status, ScanRecord::Status::cancelled);
    EXPECT_EQ(coordinator->summary().applicationCount, 57);

    bool again = false;
    coordinator->loadInitial([&] { again = true; });
    EXPECT_TRUE(again);   // already loaded: answers at once
    const int summaryChangesAfterLoad = summaryChanges;
    coordinator->setApplicationCount(57);
    EXPECT_EQ(summaryChanges, summaryChangesAfterLoad);
    coordinator->setApplicationCount(58);
    EXPECT_EQ(summaryChanges, summaryChangesAfterLoad + 1);
    EXPECT_EQ(loadedChanges, 1);
    EXPECT_EQ(resumableChanges, 1);
}

TEST_F(ScanCoordinatorTest, AScanStartedDuringTheStartUpLoadIsNotClosedByASecondLoad)
{
    database->beginScan({tree.file("root")});
    auto coordinator = makeCoordinator(database);
    int loads = 0;
    coordinator->loadInitial([&] { ++loads; });
    coordinator->startScan(false);
    coordinator->loadInitial([&] { ++loads; });
    waitForEnd(*coordinator, 0);
    ASSERT_TRUE(waitUntil([&] { return loads == 2; }));
    ASSERT_TRUE(coordinator->lastOutcome().has_value());
    EXPECT_EQ(coordinator->lastOutcome()->status, ScanRecord::Status::completed);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::completed);
}

TEST_F(ScanCoordinatorTest, DestroyingTheCoordinatorDuringAScanClosesTheScanRecord)
{
    // Paused, so that the scan has begun its record and is still running as the coordinator goes.
    ScriptedFileSystem fileSystem;
    {
        auto coordinator = makeCoordinator(database);
        ASSERT_NO_FATAL_FAILURE(startPaused(*coordinator, fileSystem));
        EXPECT_EQ(database->lastScan().value().status, ScanRecord::Status::running);
    }
    const auto last = database->lastScan();
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->status, ScanRecord::Status::cancelled);
    // Nothing queued by the scan thread may reach the destroyed coordinator.
    QCoreApplication::processEvents();
}

TEST_F(ScanCoordinatorTest, RootsAreBuiltOffTheMainThread)
{
    auto coordinator = makeCoordinator(database);
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    std::optional<std::thread::id> builtOn;
    coordinator->setRootsProvider([&] {
        std::unique_lock lock(mutex);
        builtOn = std::this_thread::get_id();
        // A volume that does not answer: the window must not wait for it.
        changed.wait_for(lock, waitLimit, [&] { return released; });
        return std::vector<std::string>{tree.file("second")};
    });
    const auto before = std::chrono::steady_clock::now();
    coordinator->startScan(false);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::preparing);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return builtOn.has_value();
    }));
    EXPECT_NE(*builtOn, std::this_thread::get_id());
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    waitForEnd(*coordinator, 0);
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::completed);
    EXPECT_EQ(coordinator->summary().totals.fileCount, 1);
}

TEST(ScanCoordinatorSettings, RootsFollowTheScopeSettings)
{
    ensureCoreApplication();
    TempDir dir;
    UserDefaults defaults(QString::fromStdString(dir.file("s.ini")));
    defaults.registerDefaults({{SettingsKey::includeSystemFolders, true},
                               {SettingsKey::includeExternalVolumes, true},
                               {SettingsKey::includeNetworkVolumes, false}});
    std::vector<bool> networkAsked;
    auto volumes = [&](bool network) {
        networkAsked.push_back(network);
        VolumeInfo a, b;
        a.path = "/media/a";
        b.path = "/mnt/b";
        return std::vector<VolumeInfo>{a, b};
    };
    // A home outside /home (the administrator's) is scanned beside it; one inside is not repeated.
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/root", 1);
    EXPECT_EQ(ScanConfiguration::userRoots(),
              (std::vector<std::string>{"/Applications", "/home", "/root", "/Library", "/opt"}));
    ::setenv("HOME", "/home/ada/", 1);
    const std::vector<std::string> user = ScanConfiguration::userRoots();
    ASSERT_EQ(user, (std::vector<std::string>{"/Applications", "/home", "/Library", "/opt"}));
    const std::vector<std::string> system = ScanConfiguration::systemRoots();

    struct Case {
        bool system, external, network;
        std::vector<std::string> expected;
        std::vector<bool> asked;
    };
    auto join = [](std::vector<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Case cases[] = {
        {false, false, true, user, {}},
        {true, false, false, join({user, system}), {}},
        {true, true, false, join({user, system, {"/media/a", "/mnt/b"}}), {false}},
        {false, true, true, join({user, {"/media/a", "/mnt/b"}}), {true}},
    };
    for (const Case& c : cases) {
        defaults.setValue(SettingsKey::includeSystemFolders, c.system);
        defaults.setValue(SettingsKey::includeExternalVolumes, c.external);
        defaults.setValue(SettingsKey::includeNetworkVolumes, c.network);
        networkAsked.clear();
        EXPECT_EQ(ScanCoordinator::rootsFromSettings(ScanCoordinator::readSettings(defaults), volumes), c.expected);
        EXPECT_EQ(networkAsked, c.asked);
    }
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(ScanCoordinatorSettings, WorkerCountExclusionsAndVolumeUsage)
{
    ensureCoreApplication();
    const std::pair<long long, int> workers[] = {{0, 1}, {1, 1}, {4, 4}, {16, 16}, {40, 16}, {-3, 1}};
    for (const auto& [setting, expected] : workers)
        EXPECT_EQ(ScanCoordinator::workerCount(setting), expected) << setting;

    TempDir dir;
    UserDefaults defaults(QString::fromStdString(dir.file("s.ini")));
    ScanCoordinator coordinator(nullptr);
    coordinator.setRootsProvider([] { return std::vector<std::string>{"/x"}; });
    ScanConfiguration configuration = coordinator.configurationFromSettings(defaults);
    EXPECT_TRUE(configuration.excludedPaths.empty());
    EXPECT_EQ(configuration.maxConcurrency, 1);   // nothing registered: 0 read, clamped
    defaults.setValue(SettingsKey::excludedPaths, QStringList{"/x/cache"});
    defaults.setValue(SettingsKey::scanConcurrency, 6);
    configuration = coordinator.configurationFromSettings(defaults);
    EXPECT_EQ(configuration.excludedPaths, std::vector<std::string>{"/x/cache"});
    EXPECT_EQ(configuration.maxConcurrency, 6);

    auto volume = [](std::int64_t total, std::int64_t important, std::int64_t strict, std::int64_t used) {
        VolumeInfo v;
        v.totalCapacity = total;
        v.availableForImportantUsage = important;
        v.availableStrict = strict;
        v.usedCapacity = used;
        return std::optional<VolumeInfo>(v);
    };
    // A history point holds the disk's size and df's used; the administrator's reserve is in neither.
    using Usage = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(ScanCoordinator::volumeUsage(volume(1000, 300, 200, 700)), (Usage{1000, 700}));
    EXPECT_EQ(ScanCoordinator::volumeUsage(volume(270'000, 80'000, 80'000, 22'000)), (Usage{270'000, 22'000}));
    EXPECT_EQ(ScanCoordinator::volumeUsage(volume(100, 50, 400, -1)), (Usage{100, 0}));
    EXPECT_EQ(ScanCoordinator::volumeUsage(std::nullopt), (Usage{0, 0}));
}

} // namespace
