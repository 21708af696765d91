#include "platform/LinuxProcessTable.h"
#include "support/ProcFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

TEST(LinuxProcessTable, StatIsReadAfterTheLastBracket)
{
    struct Case {
        std::string text;
        std::optional<std::string> name;
        char state;
        std::int32_t parent;
        std::uint64_t user, system, start;
        int threads;
    };
    const std::string tail = " 1 1 0 -1 4194560 100 0 0 0 7 3 0 0 20 0 4 0 555 1000 25";
    const Case cases[] = {
        {"812 (Mail) S 1" + tail, "Mail", 'S', 1, 7, 3, 555, 4},
        {"900 (my (odd) app) R 812" + tail, "my (odd) app", 'R', 812, 7, 3, 555, 4},
        {"901 () S) S 812" + tail, ") S", 'S', 812, 7, 3, 555, 4},   // a name that imitates the fields
        {"2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 11 0 0 20 0 1 0 2 0 0", "kthreadd", 'S', 0, 0, 11, 2, 1},
        {"903 (short) S 1 1 1", std::nullopt, 0, 0, 0, 0, 0, 0},
        {"904 no brackets S 1" + tail, std::nullopt, 0, 0, 0, 0, 0, 0},
        {"905 (x) S one" + tail, std::nullopt, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const auto stat = LinuxProcessTable::parseStat(c.text);
        ASSERT_EQ(stat.has_value(), c.name.has_value()) << c.text;
        if (!stat) continue;
        EXPECT_EQ(stat->name, *c.name) << c.text;
        EXPECT_EQ(stat->state, c.state) << c.text;
        EXPECT_EQ(stat->parentPID, c.parent) << c.text;
        EXPECT_EQ(stat->userTicks, c.user) << c.text;
        EXPECT_EQ(stat->systemTicks, c.system) << c.text;
        EXPECT_EQ(stat->startTicks, c.start) << c.text;
        EXPECT_EQ(stat->threadCount, c.threads) << c.text;
    }
}

TEST(LinuxProcessTable, StateLettersMapToBSDStatus)
{
    const std::pair<char, std::uint32_t> cases[] = {
        {'R', 2}, {'S', 3}, {'D', 3}, {'I', 3}, {'T', 4}, {'t', 4}, {'Z', 5}, {'X', 0}, {'?', 0},
    };
    for (const auto& [letter, status] : cases) EXPECT_EQ(LinuxProcessTable::bsdStatus(letter), status) << letter;
}

TEST(LinuxProcessTable, ReadsProcessesFromAFixtureTree)
{
    ProcFixture proc;
    const std::uint64_t hz = static_cast<std::uint64_t>(::sysconf(_SC_CLK_TCK));
    proc.writeBootTime(1'700'000'000);
    auto app = ProcFixture::process(4242, "Web (Content) 2");
    app.state = 'R';
    app.userTicks = 30;
    app.systemTicks = 12;
    app.threads = 9;
    app.startTicks = 5 * hz + hz / 4;
    app.uid = 1001;
    app.realUID = 0;
    app.residentPages = 3;
    app.anonKilobytes = 200;
    app.swapKilobytes = 56;
    app.executable = "/opt/web/bin/web";
    proc.writeProcess(app);
    auto kernel = ProcFixture::process(2, "kthreadd");
    kernel.parentPID = 0;
    kernel.uid = kernel.realUID = 0;
    kernel.residentPages = 0;
    kernel.anonKilobytes.reset();
    proc.writeProcess(kernel);
    proc.write("proc/self/stat", "not a process");
    proc.write("proc/99999999999/stat", "too large for a pid");

    LinuxProcessTable table(proc.root());
    auto pids = table.listAllPIDs();
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(pids, (std::vector<std::int32_t>{2, 4242}));

    const auto info = table.bsdInfo(4242);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "Web (Content) 2");
    EXPECT_EQ(info->status, 2u);
    EXPECT_EQ(info->parentPID, 1);
    EXPECT_EQ(info->uid, 1001u) << "the effective id, not the real one";
    EXPECT_EQ(info->startSeconds, 1'700'000'005u);
    EXPECT_EQ(info->startMicroseconds, 250'000u);
    EXPECT_EQ(table.executablePath(4242), "/opt/web/bin/web");
    EXPECT_EQ(table.name(4242), "Web (Content) 2");

    const auto task = table.taskInfo(4242);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->residentSize, 3u * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(task->threadCount, 9);
    const auto usage = table.rusage(4242);
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->userTime, 30u);
    EXPECT_EQ(usage->systemTime, 12u);
    EXPECT_EQ(usage->physFootprint, 256u * 1024);

    // A kernel thread has no executable and owns no user memory.
    EXPECT_FALSE(table.executablePath(2));
    EXPECT_EQ(table.name(2), "kthreadd");
    ASSERT_TRUE(table.rusage(2));
    EXPECT_EQ(table.rusage(2)->physFootprint, 0u);

    // A process that ended between listing and reading gives nothing.
    EXPECT_FALSE(table.bsdInfo(77));
    EXPECT_FALSE(table.taskInfo(77));
    EXPECT_FALSE(table.rusage(77));
    EXPECT_FALSE(table.name(77));
}

TEST(LinuxProcessTable, UnreadableFactsGiveNothing)
{
    ProcFixture proc;
    proc.writeBootTime(1'700'000'000);
    proc.writeProcess(ProcFixture::process(10, "a"));
    proc.write("proc/10/status", "Name:\ta\nUid:\tbroken\n");
    proc.writeProcess(ProcFixture::process(11, "b"));
    proc.write("proc/11/statm", "");
    proc.writeProcess(ProcFixture::process(12, "c"));

    LinuxProcessTable table(proc.root());
    EXPECT_FALSE(table.bsdInfo(10));
    EXPECT_FALSE(table.taskInfo(11));
    EXPECT_TRUE(table.bsdInfo(12));

    proc.write("proc/stat", "cpu 1 2 3 4\n");   // no boot time
    EXPECT_FALSE(table.bsdInfo(12));
}

TEST(LinuxProcessTable, AccountNamesComeFromThePasswordDatabase)
{
    LinuxProcessTable table;
    EXPECT_EQ(table.accountName(0), "root");
    EXPECT_FALSE(table.accountName(4'000'000'000u));
}
