#include "app/support/AppTestSupport.h"

#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "scanning/FileScanner.h"
#include "app/support/SettingsFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>


namespace {

using Kind = ScanPhase::Kind;

TEST(ScanCoordinatorProgress, AResumedScanShowsNoFigureBelowTheOnesItStoppedWith)
{
    ensureCoreApplication();
    SettingsFolder settingsDir;
    TempDir cacheDir;
    TempDir tree;
    settingsDir.useForStandard();
    SettingsKey::registerDefaults();
    // One reader, so that the pause below holds the scan long before it could have ended.
    UserDefaults::standard().setValue(SettingsKey::scanConcurrency, 1);
    for (int folder = 0; folder < 2000; ++folder)
        tree.write("root/f" + std::to_string(folder) + "/file.txt", 3000);
    auto database = std::make_shared<StorageDatabase>(cacheDir.file("ScanCache.sqlite"));
    ScanCoordinator coordinator(database);
    coordinator.setRootsProvider([&] { return std::vector<std::string>{tree.file("root")}; });

    // Held before its first folder, or soon after, let through a folder at a time until it has
    // counted some files, then stopped.
    coordinator.startScan(false);
    // The scanner is made off the main thread, with the roots.
    ASSERT_TRUE(waitUntil([&] { return ScanCoordinatorTestAccess::scanner(coordinator) != nullptr; }));
    FileScanner* scanner = ScanCoordinatorTestAccess::scanner(coordinator);
    scanner->pause();
    for (int round = 0; round < 20 && coordinator.progress().filesScanned == 0; ++round) {
        scanner->resume();
        scanner->pause();
        letEventsRun(std::chrono::milliseconds(400));
    }
    coordinator.cancel();
    ASSERT_TRUE(waitUntil([&] { return coordinator.task() == nullptr && coordinator.dataVersion() > 0; }));
    if (coordinator.progress().phase.kind() == Kind::completed)
        GTEST_SKIP() << "the tree was read before the pause could hold the scan";
    ASSERT_EQ(coordinator.progress().phase.kind(), Kind::cancelled);
    const ScanProgress stopped = coordinator.progress();
    ASSERT_GT(stopped.filesScanned, 0);
    ASSERT_LT(stopped.filesScanned, 2000);

    std::vector<ScanProgress> shown;
    QObject::connect(&coordinator, &ScanCoordinator::progressChanged,
                     [&] { shown.push_back(coordinator.progress()); });
    coordinator.startScan(true);
    ASSERT_TRUE(waitUntil([&] { return coordinator.task() == nullptr && coordinator.dataVersion() > 1; }));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front().phase.kind(), Kind::preparing);
    EXPECT_EQ(shown.back().phase.kind(), Kind::completed);
    EXPECT_EQ(shown.back().filesScanned, 2000);
    ScanProgress previous = stopped;
    for (const auto& progress : shown) {
        EXPECT_GE(progress.filesScanned, previous.filesScanned);
        EXPECT_GE(progress.foldersScanned, previous.foldersScanned);
        EXPECT_GE(progress.bytesAnalyzed, previous.bytesAnalyzed);
        EXPECT_GE(progress.newFiles, previous.newFiles);
        EXPECT_GE(progress.elapsedSeconds, previous.elapsedSeconds);
        previous = progress;
    }
}

} // namespace
