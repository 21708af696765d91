#include "platform/LinuxProcessTable.h"
#include "platform/ProcText.h"
#include "support/ProcFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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
    app.residentKilobytes = 12;
    app.anonKilobytes = 200;
    app.swapKilobytes = 56;
    app.executable = "/opt/web/bin/web";
    proc.writeProcess(app);
    auto kernel = ProcFixture::process(2, "kthreadd");
    kernel.parentPID = 0;
    kernel.uid = kernel.realUID = 0;
    kernel.anonKilobytes.reset();
    proc.writeProcess(kernel);
    proc.write("proc/self/stat", "not a process");
    proc.write("proc/99999999999/stat", "too large for a pid");

    LinuxProcessTable table(proc.root());
    auto pids = table.listAllPIDs();
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(pids, (std::vector<std::int32_t>{2, 4242}));
    const auto context = table.sampleContext();
    EXPECT_EQ(context.bootSeconds, 1'700'000'000u);

    const auto facts = table.describe(4242, context);
    ASSERT_TRUE(facts.bsd);
    EXPECT_EQ(facts.bsd->name, "Web (Content) 2");
    EXPECT_EQ(facts.bsd->status, 2u);
    EXPECT_EQ(facts.bsd->parentPID, 1);
    EXPECT_EQ(facts.bsd->uid, 1001u) << "the effective id, not the real one";
    EXPECT_EQ(facts.bsd->startSeconds, 1'700'000'005u);
    EXPECT_EQ(facts.bsd->startMicroseconds, 250'000u);
    EXPECT_EQ(facts.executablePath, "/opt/web/bin/web");
    EXPECT_EQ(facts.name, "Web (Content) 2");
    ASSERT_TRUE(facts.task);
    EXPECT_EQ(facts.task->residentSize, 12u * 1024);
    EXPECT_EQ(facts.task->threadCount, 9);
    ASSERT_TRUE(facts.usage);
    EXPECT_EQ(facts.usage->userTime, 30u);
    EXPECT_EQ(facts.usage->systemTime, 12u);
    EXPECT_EQ(facts.usage->physFootprint, 256u * 1024);

    // A kernel thread has no executable and owns no user memory.
    const auto thread = table.describe(2, context);
    EXPECT_FALSE(thread.executablePath);
    EXPECT_EQ(thread.name, "kthreadd");
    ASSERT_TRUE(thread.usage);
    EXPECT_EQ(thread.usage->physFootprint, 0u);
    EXPECT_EQ(thread.task->residentSize, 0u);

    // A process that ended between listing and reading gives nothing.
    const auto gone = table.describe(77, context);
    EXPECT_FALSE(gone.bsd || gone.task || gone.usage || gone.name || gone.executablePath);
}

TEST(LinuxProcessTable, UnreadableFactsGiveNothing)
{
    ProcFixture proc;
    proc.writeBootTime(1'700'000'000);
    proc.writeProcess(ProcFixture::process(10, "a"));
    proc.write("proc/10/status", "Name:\ta\nUid:\tbroken\n");
    proc.writeProcess(ProcFixture::process(11, "b"));
    proc.write("proc/11/stat", "");
    proc.writeProcess(ProcFixture::process(12, "c"));

    LinuxProcessTable table(proc.root());
    const auto context = table.sampleContext();
    EXPECT_FALSE(table.describe(10, context).bsd);
    EXPECT_TRUE(table.describe(10, context).usage) << "the usage does not need the owner";
    const auto noStat = table.describe(11, context);
    EXPECT_FALSE(noStat.bsd || noStat.task || noStat.usage);
    EXPECT_EQ(noStat.name, "b") << "the command name of comm";
    EXPECT_TRUE(table.describe(12, context).bsd);

    proc.write("proc/stat", "cpu 1 2 3 4\n");   // no boot time
    EXPECT_FALSE(table.sampleContext().bootSeconds);
    EXPECT_FALSE(table.describe(12, table.sampleContext()).bsd);
}

// After a package upgrade the kernel reads the executable link as "<path> (deleted)".
TEST(LinuxProcessTable, ExecutablesReplacedByAnUpgradeKeepTheirPath)
{
    ProcFixture proc;
    proc.writeBootTime(1'700'000'000);
    const struct {
        std::int32_t pid;
        const char* link;
        const char* path;
    } cases[] = {
        {20, "/usr/lib/firefox/firefox (deleted)", "/usr/lib/firefox/firefox"},
        {21, "/usr/bin/plain", "/usr/bin/plain"},
    };
    for (const auto& c : cases) {
        auto process = ProcFixture::process(c.pid, "x");
        process.executable = c.link;
        proc.writeProcess(process);
    }
    LinuxProcessTable table(proc.root());
    for (const auto& c : cases) {
        EXPECT_EQ(table.executablePath(c.pid), c.path) << c.link;
        EXPECT_EQ(table.describe(c.pid, table.sampleContext()).executablePath, c.path) << c.link;
    }
}

TEST(LinuxProcessTable, EachFileIsReadOncePerProcessAndTheBootTimeOncePerSample)
{
    ProcFixture proc;
    proc.writeBootTime(1'700'000'000);
    for (std::int32_t pid = 1; pid <= 5; ++pid) proc.writeProcess(ProcFixture::process(pid, "p"));
    std::map<std::string, int> reads;
    LinuxProcessTable table(proc.root(), [&](const std::string& path) {
        ++reads[path.substr(proc.root().size())];
        return ProcText::readFile(path);
    });
    const auto context = table.sampleContext();
    for (const auto pid : table.listAllPIDs()) table.describe(pid, context);

    EXPECT_EQ(reads["/stat"], 1);
    for (std::int32_t pid = 1; pid <= 5; ++pid)
        for (const char* name : {"stat", "status", "cgroup"})
            EXPECT_EQ(reads["/" + std::to_string(pid) + "/" + name], 1) << pid << " " << name;
    EXPECT_EQ(reads.size(), 1u + 5 * 3) << "nothing else is read while stat names the process";
}

TEST(LinuxProcessTable, ControlGroupPrefersTheUnifiedHierarchy)
{
    const struct {
        const char* text;
        std::optional<std::string> path;
    } cases[] = {
        {"0::/user.slice/app.scope\n", "/user.slice/app.scope"},
        {"12:pids:/system.slice/cron.service\n0::/init.scope\n1:name=systemd:/x\n", "/init.scope"},
        {"12:pids:/a\n1:name=systemd:/b\n", "/b"},
        {"garbage\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(LinuxProcessTable::parseControlGroup(c.text), c.path) << c.text;
}

TEST(LinuxProcessTable, AccountNamesComeFromThePasswordDatabase)
{
    LinuxProcessTable table;
    EXPECT_EQ(table.accountName(0), "root");
    EXPECT_FALSE(table.accountName(4'000'000'000u));
}
