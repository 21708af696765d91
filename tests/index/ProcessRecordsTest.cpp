#include "index/ProcessRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(ProcessRecords, StatesFromBSDStatusAndText)
{
    const std::pair<std::uint32_t, ProcessState> statuses[] = {
        {0, ProcessState::unknown}, {1, ProcessState::idle},     {2, ProcessState::running},
        {3, ProcessState::sleeping}, {4, ProcessState::stopped}, {5, ProcessState::zombie},
        {6, ProcessState::unknown}, {7, ProcessState::unknown},  {4'294'967'295u, ProcessState::unknown},
    };
    for (const auto& [status, state] : statuses) EXPECT_EQ(processStateFromBSDStatus(status), state) << status;

    EXPECT_EQ(rawValue(ProcessState::idle), "Starting");
    for (auto state : {ProcessState::running, ProcessState::sleeping, ProcessState::stopped, ProcessState::zombie,
                       ProcessState::idle, ProcessState::unknown})
        EXPECT_EQ(processStateFromRawValue(rawValue(state)), state);
    EXPECT_FALSE(processStateFromRawValue("Idle"));
    EXPECT_FALSE(processStateFromRawValue("running"));
}

TEST(ProcessRecords, AbsentFiguresSortBelowZero)
{
    ProcessSnapshot measured;
    measured.pid = 1;
    measured.cpuPercent = 0.0;
    measured.memoryBytes = 0;
    measured.threadCount = 0;
    ProcessSnapshot restricted;
    restricted.pid = 2;
    EXPECT_EQ(restricted.cpuSortKey(), -1.0);
    EXPECT_EQ(restricted.memorySortKey(), -1);
    EXPECT_EQ(restricted.threadSortKey(), -1);

    std::vector<ProcessSnapshot> list{restricted, measured};
    std::sort(list.begin(), list.end(), [](const auto& l, const auto& r) { return l.cpuSortKey() > r.cpuSortKey(); });
    EXPECT_EQ(list.front().pid, 1) << "a process at 0% comes before one without a figure in a descending sort";
}

TEST(ProcessRecords, SnapshotsOfOnePidDifferByTheirFigures)
{
    ProcessSnapshot earlier;
    earlier.pid = 812;
    earlier.name = "Mail";
    earlier.cpuPercent = 1.5;
    earlier.startTime = 100.0;
    ProcessSnapshot later = earlier;
    later.cpuPercent = 3.0;
    EXPECT_EQ(earlier.id(), later.id());
    EXPECT_NE(earlier, later);
    EXPECT_NE(std::hash<ProcessSnapshot>{}(earlier), std::hash<ProcessSnapshot>{}(later));

    // An absent figure and a present zero are different values.
    ProcessSnapshot absent = earlier;
    absent.memoryBytes.reset();
    ProcessSnapshot zero = earlier;
    zero.memoryBytes = 0;
    EXPECT_NE(absent, zero);
    EXPECT_NE(std::hash<ProcessSnapshot>{}(absent), std::hash<ProcessSnapshot>{}(zero));
    EXPECT_EQ(std::hash<ProcessSnapshot>{}(earlier), std::hash<ProcessSnapshot>{}(ProcessSnapshot(earlier)));
}
