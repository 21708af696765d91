#include "app/support/AppTestSupport.h"

#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "app/support/SettingsFolder.h"
#include "index/StorageDatabase.h"
#include "scanning/FileScanner.h"
#include "support/ScriptedFileSystem.h"
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
    // One reader, held in its tenth folder read until it is paused, then stopped once the
    // folders it read before are counted.
    UserDefaults::standard().setValue(SettingsKey::scanConcurrency, 1);
    constexpr int folders = 200;
    for (int folder = 0; folder < folders; ++folder)
        tree.write("root/f" + std::to_string(folder) + "/file.txt", 3000);
    auto database = std::make_shared<StorageDatabase>(cacheDir.file("ScanCache.sqlite"));
    ScriptedFileSystem fileSystem;
    fileSystem.holdAtRead(10);
    ScanCoordinator coordinator(database);
    coordinator.setRootsProvider([&] { return std::vector<std::string>{tree.file("root")}; });
    coordinator.setFileSystem(fileSystem);

    coordinator.startScan(false);
    ASSERT_TRUE(fileSystem.waitUntilHeld());
    FileScanner* scanner = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (scanner = ScanCoordinatorTestAccess::scanner(coordinator)) != nullptr; }));
    scanner->pause();
    fileSystem.releaseRead();
    ASSERT_TRUE(waitUntil([&] { return coordinator.progress().filesScanned > 0; }));
    coordinator.cancel();
    ASSERT_TRUE(waitUntil([&] { return coordinator.task() == nullptr && coordinator.dataVersion() > 0; }));
    ASSERT_EQ(coordinator.progress().phase.kind(), Kind::cancelled);
    const ScanProgress stopped = coordinator.progress();
    ASSERT_GT(stopped.filesScanned, 0);
    ASSERT_LT(stopped.filesScanned, folders);

    std::vector<ScanProgress> shown;
    QObject::connect(&coordinator, &ScanCoordinator::progressChanged,
                     [&] { shown.push_back(coordinator.progress()); });
    coordinator.startScan(true);
    ASSERT_TRUE(waitUntil([&] { return coordinator.task() == nullptr && coordinator.dataVersion() > 1; }));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front().phase.kind(), Kind::preparing);
    EXPECT_EQ(shown.back().phase.kind(), Kind::completed);
    EXPECT_EQ(shown.back().filesScanned, folders);
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
