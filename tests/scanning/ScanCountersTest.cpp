#include "scanning/ScanCounters.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(ScanCounters, ReportedCopiesDoNotChangeTheStoredPhase)
{
    ScanCounters counters;
    EXPECT_EQ(counters.snapshot().phase, ScanPhase(ScanPhase::Kind::idle));
    counters.reset(1000.0, false);
    counters.folderSynced(3, 4096,
                          DirectorySyncResult{.folderID = 1, .childIDs = {}, .newFiles = 2, .changedFiles = 1,
                                              .deletedFiles = 4, .deletedFolders = 9, .newChildIDs = {}});
    counters.folderSynced(5, 100, DirectorySyncResult{.folderID = 2, .childIDs = {}, .newChildIDs = {}});
    counters.folderRefused();
    counters.folderFailed();
    ScanProgress copy = counters.snapshot();
    copy.phase = ScanPhase::Kind::finalizing;
    const ScanProgress stored = counters.snapshot();
    EXPECT_EQ(stored.phase, ScanPhase(ScanPhase::Kind::scanning));
    EXPECT_EQ(stored.filesScanned, 8);
    EXPECT_EQ(stored.foldersScanned, 2);
    EXPECT_EQ(stored.bytesAnalyzed, 4196);
    EXPECT_EQ(stored.newFiles, 2);
    EXPECT_EQ(stored.changedFiles, 1);
    EXPECT_EQ(stored.deletedFiles, 4);
    EXPECT_EQ(stored.restrictedFolders, 1);
    EXPECT_EQ(stored.errors, 1);
    EXPECT_FALSE(stored.isResumed);
    EXPECT_EQ(stored.startedAt, 1000.0);
    EXPECT_NE(ScanPhase::failed("disk full"), ScanPhase::failed("locked"));
}

TEST(ScanCounters, RunningTimeLeavesPausesOutAndAResumedScanGoesOnFromItsFigures)
{
    using namespace std::chrono;
    steady_clock::time_point now{};
    ScanCounters counters([&] { return now; });
    const auto at = [&](int seconds) { now = steady_clock::time_point{} + std::chrono::seconds(seconds); };

    ScanProgress earlier;
    earlier.filesScanned = 249'050;
    earlier.foldersScanned = 9'000;
    earlier.bytesAnalyzed = 1'000'000;
    earlier.newFiles = 249'050;
    earlier.elapsedSeconds = 100;
    at(0);
    counters.reset(2000.0, true, earlier);
    // step: when, what happens, the running time then, the phase then
    struct Step {
        int second;
        void (*act)(ScanCounters&);
        double elapsed;
        ScanPhase::Kind phase;
    };
    const Step steps[] = {
        {0, nullptr, 100, ScanPhase::Kind::scanning},
        {10, nullptr, 110, ScanPhase::Kind::scanning},
        {10, [](ScanCounters& c) { c.pause(); }, 110, ScanPhase::Kind::paused},
        {70, nullptr, 110, ScanPhase::Kind::paused},                                   // stands still
        {70, [](ScanCounters& c) { c.pause(); }, 110, ScanPhase::Kind::paused},        // twice is once
        {75, [](ScanCounters& c) { c.resume(); }, 110, ScanPhase::Kind::scanning},     // no jump
        {80, nullptr, 115, ScanPhase::Kind::scanning},
        {80, [](ScanCounters& c) { c.resume(); }, 115, ScanPhase::Kind::scanning},
        {90, nullptr, 125, ScanPhase::Kind::scanning},
    };
    for (const auto& step : steps) {
        at(step.second);
        if (step.act)
            step.act(counters);
        const ScanProgress progress = counters.snapshot();
        EXPECT_DOUBLE_EQ(progress.elapsedSeconds, step.elapsed) << step.second;
        EXPECT_EQ(progress.phase, ScanPhase(step.phase)) << step.second;
    }

    // Folders read again add only what changed; new folders add as usual.
    counters.folderSyncedAgain(DirectorySyncResult{.folderID = 1, .childIDs = {}, .newFiles = 1, .changedFiles = 2,
                                                   .deletedFiles = 3, .newChildIDs = {}});
    counters.folderSynced(4, 40, DirectorySyncResult{.folderID = 2, .childIDs = {}, .newFiles = 4, .newChildIDs = {}});
    const ScanProgress resumed = counters.snapshot();
    EXPECT_TRUE(resumed.isResumed);
    EXPECT_EQ(resumed.filesScanned, 249'054);
    EXPECT_EQ(resumed.foldersScanned, 9'001);
    EXPECT_EQ(resumed.bytesAnalyzed, 1'000'040);
    EXPECT_EQ(resumed.newFiles, 249'055);
    EXPECT_EQ(resumed.changedFiles, 2);
    EXPECT_EQ(resumed.deletedFiles, 3);

    // A fresh scan starts from nothing, whatever it is given.
    counters.reset(3000.0, false, earlier);
    EXPECT_EQ(counters.snapshot().filesScanned, 0);
    EXPECT_DOUBLE_EQ(counters.snapshot().elapsedSeconds, 0);
}
