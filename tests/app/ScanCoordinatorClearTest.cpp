#include "app/support/AppTestSupport.h"

#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "app/support/SettingsFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using Kind = ScanPhase::Kind;

// A coordinator over a cache that holds one completed scan of a small tree and a
// scan that could be resumed.
class ScanCoordinatorClearTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureCoreApplication();
        settingsDir.useForStandard();
        SettingsKey::registerDefaults();
        for (int file = 0; file < 30; ++file)
            tree.write("root/sub/file" + std::to_string(file) + ".txt", 3000);
        database = std::make_shared<StorageDatabase>(cacheDir.file("ScanCache.sqlite"));
        coordinator = std::make_unique<ScanCoordinator>(database);
        coordinator->setRootsProvider([this] { return std::vector<std::string>{tree.file("root")}; });
        coordinator->startScan(false);
        ASSERT_TRUE(waitUntil([&] { return coordinator->task() == nullptr && coordinator->dataVersion() > 0; }));
        ASSERT_EQ(coordinator->progress().phase.kind(), Kind::completed);
        ScanCoordinatorTestAccess::setResumableScanID(*coordinator, 7);
    }

    // Runs a clear to its end; the failure it reported, if any.
    std::optional<std::string> clear()
    {
        bool ended = false;
        std::optional<std::string> failure;
        EXPECT_TRUE(coordinator->clearCache([&](std::optional<std::string> reported) {
            ended = true;
            failure = std::move(reported);
        }));
        EXPECT_TRUE(waitUntil([&] { return ended; }));
        EXPECT_FALSE(coordinator->isClearing());
        return failure;
    }

    SettingsFolder settingsDir;
    TempDir cacheDir;
    TempDir tree;
    std::shared_ptr<StorageDatabase> database;
    std::unique_ptr<ScanCoordinator> coordinator;
};

TEST_F(ScanCoordinatorClearTest, AClearIsRefusedWhileAScanRunsAndAScanWhileAClearRuns)
{
    coordinator->startScan(false);
    ASSERT_NE(coordinator->task(), nullptr);
    bool called = false;
    EXPECT_FALSE(coordinator->clearCache([&](auto) { called = true; }));
    EXPECT_FALSE(coordinator->isClearing());
    ASSERT_TRUE(waitUntil([&] { return coordinator->task() == nullptr && !coordinator->isScanActive(); }));
    EXPECT_FALSE(called);
    EXPECT_EQ(database->totals().fileCount, 30);

    // The clear's answer comes through the event loop, so it is still under way here.
    ASSERT_TRUE(coordinator->clearCache());
    EXPECT_TRUE(coordinator->isClearing());
    coordinator->startScan(false);
    EXPECT_EQ(coordinator->task(), nullptr);
    EXPECT_FALSE(coordinator->clearCache());
    ASSERT_TRUE(waitUntil([&] { return !coordinator->isClearing(); }));
    EXPECT_EQ(database->totals().fileCount, 0);
}

TEST_F(ScanCoordinatorClearTest, ASuccessfulClearForgetsTheScansAndAnnouncesNewData)
{
    const int version = coordinator->dataVersion();
    EXPECT_EQ(clear(), std::nullopt);
    EXPECT_EQ(coordinator->resumableScanID(), std::nullopt);
    EXPECT_FALSE(coordinator->lastOutcome().has_value());
    EXPECT_EQ(coordinator->progress().phase.kind(), Kind::idle);
    EXPECT_EQ(coordinator->progress().filesScanned, 0);
    EXPECT_EQ(coordinator->dataVersion(), version + 1);
    EXPECT_EQ(coordinator->summary().totals.fileCount, 0);
    EXPECT_FALSE(database->lastScan().has_value());
}

TEST_F(ScanCoordinatorClearTest, AFailedClearLeavesTheCacheAndTheResumableScanAsTheyWere)
{
    SQLiteConnection(cacheDir.file("ScanCache.sqlite"))
        .execute("CREATE TRIGGER refuse BEFORE DELETE ON scans BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END;");
    const int version = coordinator->dataVersion();
    const ScanProgress progress = coordinator->progress();

    const std::optional<std::string> failure = clear();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("disk I/O error"), std::string::npos);
    EXPECT_EQ(coordinator->resumableScanID(), 7);
    EXPECT_TRUE(coordinator->lastOutcome().has_value());
    EXPECT_EQ(coordinator->progress(), progress);
    EXPECT_EQ(coordinator->dataVersion(), version);
    EXPECT_EQ(database->totals().fileCount, 30);
    EXPECT_TRUE(database->lastScan().has_value());
}

TEST_F(ScanCoordinatorClearTest, WithoutADatabaseAClearReportsThatNothingWasCleared)
{
    ScanCoordinator bare(nullptr);
    ScanCoordinatorTestAccess::setResumableScanID(bare, 3);
    std::optional<std::string> failure;
    ASSERT_TRUE(bare.clearCache([&](std::optional<std::string> reported) { failure = std::move(reported); }));
    ASSERT_TRUE(waitUntil([&] { return failure.has_value(); }));
    EXPECT_FALSE(bare.isClearing());
    EXPECT_EQ(bare.dataVersion(), 0);
}

} // namespace
