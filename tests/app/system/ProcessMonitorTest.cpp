#include "app/system/ProcessMonitor.h"
#include "platform/LinuxProcessTable.h"
#include "support/ProcFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <unistd.h>

namespace {

// The fixture tree, with account lookups counted and some usage reads refused.
class FixtureTable : public LinuxProcessTable {
public:
    using LinuxProcessTable::LinuxProcessTable;
    int accountLookups = 0;
    std::set<std::int32_t> refusedUsage;

    std::optional<std::string> accountName(std::uint32_t uid) override
    {
        ++accountLookups;
        if (uid == 0) return "root";
        return std::nullopt;
    }
    ProcFacts describe(std::int32_t pid, const ProcSampleContext& context) override
    {
        auto facts = LinuxProcessTable::describe(pid, context);
        if (refusedUsage.contains(pid)) facts.usage.reset();
        return facts;
    }
};

constexpr MachTime::Timebase centiseconds{1'000'000'000, 100};
constexpr std::uint64_t second = 1'000'000'000;

struct ProcessMonitorFixture : ::testing::Test {
    ProcFixture proc;
    std::shared_ptr<FixtureTable> table = std::make_shared<FixtureTable>(proc.root());
    std::uint64_t uptime = 10 * second;
    ProcessMonitor monitor{table, [this] { return uptime; }, centiseconds};

    ProcessMonitorFixture() { proc.writeBootTime(1'700'000'000); }

    void write(std::int32_t pid, std::uint64_t ticks, const char* name = "worker")
    {
        auto p = ProcFixture::process(pid, name);
        p.userTicks = ticks;
        proc.writeProcess(p);
    }

    std::map<std::int32_t, ProcessSnapshot> sampleByPID()
    {
        std::map<std::int32_t, ProcessSnapshot> byPID;
        for (auto& s : monitor.sample()) byPID[s.pid] = s;
        return byPID;
    }
};

} // namespace

TEST_F(ProcessMonitorFixture, CPUShareSinceThePreviousSample)
{
    write(10, 100);   // 500 ms over 2 s
    write(11, 100);   // 3 s over 2 s on several cores
    write(12, 500);   // the pid is reused by a process with less CPU time
    write(13, 100);   // usage unreadable in the second sample
    auto first = sampleByPID();
    for (const auto& [pid, s] : first) EXPECT_FALSE(s.cpuPercent) << "no baseline yet for " << pid;

    uptime += 2 * second;
    write(10, 150);
    write(11, 700);
    write(12, 20);
    write(14, 100);   // new since the first sample
    table->refusedUsage = {13};
    auto second_ = sampleByPID();
    EXPECT_DOUBLE_EQ(second_.at(10).cpuPercent.value_or(-1), 25.0);
    EXPECT_DOUBLE_EQ(second_.at(11).cpuPercent.value_or(-1), 300.0);
    EXPECT_FALSE(second_.at(12).cpuPercent);
    EXPECT_FALSE(second_.at(13).cpuPercent);
    EXPECT_FALSE(second_.at(13).memoryBytes) << "a process whose usage cannot be read counts as restricted";
    EXPECT_FALSE(second_.at(14).cpuPercent);

    // The clock did not advance; then a process that lost its baseline starts over.
    EXPECT_FALSE(sampleByPID().at(10).cpuPercent);
    table->refusedUsage.clear();
    uptime += second;
    write(13, 200);
    auto third = sampleByPID();
    EXPECT_TRUE(third.at(10).cpuPercent);
    EXPECT_FALSE(third.at(13).cpuPercent) << "its baseline was dropped while unreadable";
}

TEST_F(ProcessMonitorFixture, NamesFallBackInOrder)
{
    auto withPath = ProcFixture::process(20, "short");
    withPath.executable = "/usr/lib/firefox/firefox-bin";
    proc.writeProcess(withPath);

    proc.writeProcess(ProcFixture::process(21, "kworker/0:1"));   // no executable: the command name

    proc.writeProcess(ProcFixture::process(22, "inner"));
    proc.write("proc/22/comm", "");                                 // only the stat name is left

    proc.writeProcess(ProcFixture::process(23, ""));                // nothing at all but facts

    proc.write("proc/24/comm", "ghost\n");                          // no facts, but a name

    proc.write("proc/25/statm", "1 1 1 1 0 1 0\n");                 // neither facts nor name

    const auto byPID = sampleByPID();
    EXPECT_EQ(byPID.at(20).name, "firefox-bin");
    EXPECT_EQ(byPID.at(20).executablePath, "/usr/lib/firefox/firefox-bin");
    EXPECT_EQ(byPID.at(21).name, "kworker/0:1");
    EXPECT_FALSE(byPID.at(21).executablePath);
    EXPECT_EQ(byPID.at(22).name, "inner");
    EXPECT_EQ(byPID.at(23).name, "PID 23");

    const auto& ghost = byPID.at(24);
    EXPECT_EQ(ghost.name, "ghost");
    EXPECT_EQ(ghost.parentPID, 0);
    EXPECT_FALSE(ghost.ownerUID);
    EXPECT_FALSE(ghost.ownerName);
    EXPECT_EQ(ghost.state, ProcessState::unknown);
    EXPECT_FALSE(ghost.startTime);
    EXPECT_FALSE(byPID.contains(25));
}

TEST_F(ProcessMonitorFixture, OwnerNamesAreLookedUpOncePerUser)
{
    auto a = ProcFixture::process(30, "a");
    a.uid = 4321;
    proc.writeProcess(a);
    auto b = ProcFixture::process(31, "b");
    b.uid = 4321;
    proc.writeProcess(b);
    auto c = ProcFixture::process(32, "c");
    c.uid = 0;
    proc.writeProcess(c);

    auto byPID = sampleByPID();
    EXPECT_EQ(byPID.at(30).ownerName, "4321");
    EXPECT_EQ(byPID.at(31).ownerName, "4321");
    EXPECT_EQ(byPID.at(32).ownerName, "root");
    EXPECT_EQ(byPID.at(30).ownerUID, 4321u);
    byPID = sampleByPID();
    EXPECT_EQ(byPID.at(30).ownerName, "4321");
    EXPECT_EQ(table->accountLookups, 2);
}

TEST(ProcessMonitor, UsageOfOneApplication)
{
    auto process = [](std::int32_t pid, std::optional<std::string> path, std::optional<std::int64_t> memory,
                      std::optional<double> cpu) {
        ProcessSnapshot s;
        s.pid = pid;
        s.executablePath = std::move(path);
        s.memoryBytes = memory;
        s.cpuPercent = cpu;
        return s;
    };
    const std::vector<ProcessSnapshot> processes{
        process(1, "/Applications/Foo.app/Contents/MacOS/Foo", 1000, 2.5),
        process(2, "/Applications/Foo.appendix/bin/x", 5000, 50),
        process(3, "/Applications/Foo.app/Contents/XPCServices/Helper", std::nullopt, 4),
        process(4, std::nullopt, 7, 7),
        process(5, "/applications/foo.app/Contents/MacOS/Foo", 9, 9),
        process(6, "/Applications/Foo.app/Contents/MacOS/Foo", 500, std::nullopt),
    };
    for (const char* path : {"/Applications/Foo.app", "/Applications/Foo.app/"}) {
        const auto usage = ProcessMonitor::usage(path, processes);
        EXPECT_EQ(usage.processCount, 3) << path;
        EXPECT_EQ(usage.pids, (std::vector<std::int32_t>{1, 3, 6})) << path;
        EXPECT_EQ(usage.memoryBytes, 1500) << path;
        EXPECT_EQ(usage.restrictedProcessCount, 1) << path;
        EXPECT_DOUBLE_EQ(usage.cpuPercent, 6.5) << path;
    }
    EXPECT_EQ(ProcessMonitor::usage("/Applications/Bar.app", processes), ApplicationUsage::notRunning);
}

TEST(ProcessMonitorLive, AgreesWithPsAndProcSelf)
{
    auto psPIDs = [] {
        std::set<std::int32_t> pids;
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen("ps -e -o pid=", "r"), ::pclose);
        int pid = 0;
        while (pipe && std::fscanf(pipe.get(), "%d", &pid) == 1) pids.insert(pid);
        return pids;
    };
    auto residentBytes = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.starts_with("VmRSS:")) return std::stoll(line.substr(6)) * 1024;
        return -1LL;
    };
    ProcessMonitor monitor;
    const auto before = psPIDs();
    const auto residentBefore = residentBytes();
    const auto processes = monitor.sample();
    const auto residentAfter = residentBytes();
    const auto after = psPIDs();
    if (before.empty()) GTEST_SKIP() << "ps (procps) is not installed";

    std::set<std::int32_t> ours;
    for (const auto& p : processes) ours.insert(p.pid);
    for (const auto pid : before) {
        if (!after.contains(pid)) continue;
        EXPECT_TRUE(ours.contains(pid)) << "ps lists " << pid << " throughout";
    }
    // A process may start after the first listing and end before the second (other tests run meanwhile);
    // any other that we list must still be there for the second listing.
    for (const auto pid : ours) {
        const bool ended = ::access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0;
        EXPECT_TRUE(before.contains(pid) || after.contains(pid) || pid == ::getpid() || ended)
            << pid << " is not a process";
    }

    const auto self = std::find_if(processes.begin(), processes.end(), [](const auto& p) { return p.pid == ::getpid(); });
    ASSERT_NE(self, processes.end());
    // Our own memory grows while the list is read, so the figure lies between two readings.
    ASSERT_TRUE(self->residentBytes);
    EXPECT_GE(*self->residentBytes, std::min(residentBefore, residentAfter) - (1 << 20));
    EXPECT_LE(*self->residentBytes, std::max(residentBefore, residentAfter) + (1 << 20));
    EXPECT_EQ(self->ownerUID, ::geteuid());
    EXPECT_EQ(self->parentPID, ::getppid());
    EXPECT_TRUE(self->executablePath && self->executablePath->ends_with("tests")) << self->executablePath.value_or("");
    EXPECT_GE(self->threadCount.value_or(0), 1);
}

TEST_F(ProcessMonitorFixture, NamesTheSessionScopeAndStartOfEachProcess)
{
    auto scoped = ProcFixture::process(40, "terminal");
    scoped.startTicks = 777;
    proc.writeProcess(scoped);
    proc.write("proc/40/cgroup", "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                                 "app-gnome-org.gnome.Terminal-3412.scope\n");
    proc.writeProcess(ProcFixture::process(41, "daemon"));
    proc.write("proc/41/cgroup", "12:pids:/system.slice/cron.service\n1:name=systemd:/system.slice/cron.service\n");
    proc.writeProcess(ProcFixture::process(42, "plain")); // no cgroup file

    auto byPID = sampleByPID();
    EXPECT_EQ(byPID[40].sessionAppID, "org.gnome.Terminal");
    EXPECT_EQ(byPID[40].startTicks, 777u);
    EXPECT_EQ(byPID[41].sessionAppID, std::nullopt);
    EXPECT_EQ(byPID[42].sessionAppID, std::nullopt);
}

TEST_F(ProcessMonitorFixture, CPUShareOnlyOverTheMinimumInterval)
{
    monitor.setMinimumInterval(second);
    write(10, 100);
    sampleByPID();
    // A sample a few milliseconds after the last keeps that baseline and tells no share yet.
    uptime += 5'000'000;
    write(10, 101);
    EXPECT_FALSE(sampleByPID().at(10).cpuPercent);
    uptime += second - 5'000'000;
    write(10, 150);
    EXPECT_DOUBLE_EQ(sampleByPID().at(10).cpuPercent.value_or(-1), 50.0);
    // Too soon again: the last share stands rather than turning into "no figure".
    uptime += 5'000'000;
    write(10, 151);
    EXPECT_DOUBLE_EQ(sampleByPID().at(10).cpuPercent.value_or(-1), 50.0);
    uptime += second - 5'000'000;
    write(10, 160);
    EXPECT_DOUBLE_EQ(sampleByPID().at(10).cpuPercent.value_or(-1), 10.0) << "measured from the kept baseline";
}

TEST_F(ProcessMonitorFixture, NamesOfUpgradedExecutablesLoseTheKernelsMark)
{
    auto upgraded = ProcFixture::process(50, "firefox-bin");
    upgraded.executable = "/usr/lib/firefox/firefox-bin (deleted)";
    proc.writeProcess(upgraded);
    const auto byPID = sampleByPID();
    EXPECT_EQ(byPID.at(50).name, "firefox-bin");
    EXPECT_EQ(byPID.at(50).executablePath, "/usr/lib/firefox/firefox-bin");
    EXPECT_EQ(ProcessMonitor::usage("/usr/lib/firefox", monitor.sample()).processCount, 1);
}
