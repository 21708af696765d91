#include "app/system/CPUMonitor.h"
#include "app/system/MachHost.h"
#include "app/system/Sysctl.h"
#include "FakeSystemSources.h"
#include "platform/LinuxHostStatistics.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

std::vector<std::uint64_t> flat(const std::vector<CoreTicks>& cores)
{
    std::vector<std::uint64_t> counters;
    for (const auto& c : cores) counters.insert(counters.end(), {c.user, c.system, c.idle, c.nice});
    return counters;
}

struct CPUMonitorTest : ::testing::Test {
    std::shared_ptr<FakeHostStatistics> host = std::make_shared<FakeHostStatistics>();
    std::shared_ptr<FakeSysctl> sysctl = std::make_shared<FakeSysctl>();
    CPUMonitor monitor{host, sysctl};
};

} // namespace

TEST_F(CPUMonitorTest, SharesOfTheTicksBetweenTwoReadings)
{
    struct Case {
        const char* description;
        std::vector<CoreTicks> previous, current;
        double user, system, idle, nice;
        std::vector<double> perCore;
    };
    const Case cases[] = {
        {"one core", {{100, 50, 850, 0}}, {{160, 70, 1010, 10}}, 0.24, 0.08, 0.64, 0.04, {0.36}},
        {"no change", {{5, 5, 5, 5}, {1, 1, 1, 1}}, {{5, 5, 5, 5}, {1, 1, 1, 1}}, 0, 0, 1, 0, {0, 0}},
        {"a core whose idle counter went back is left out",
         {{100, 50, 850, 0}, {0, 0, 1000, 0}}, {{160, 70, 1010, 10}, {500, 0, 900, 0}}, 0.24, 0.08, 0.64, 0.04,
         {0.36, 0}},
        {"every core went back", {{9, 9, 9, 9}}, {{1, 1, 1, 1}}, 0, 0, 1, 0, {0}},
        {"fewer cores now: only the common ones", {{0, 0, 0, 0}, {0, 0, 0, 0}}, {{50, 0, 50, 0}}, 0.5, 0, 0.5, 0,
         {0.5}},
    };
    for (const auto& c : cases) {
        const CPUSnapshot s = monitor.snapshot(c.previous, c.current, 1234.5);
        EXPECT_NEAR(s.user, c.user, 1e-12) << c.description;
        EXPECT_NEAR(s.system, c.system, 1e-12) << c.description;
        EXPECT_NEAR(s.idle, c.idle, 1e-12) << c.description;
        EXPECT_NEAR(s.nice, c.nice, 1e-12) << c.description;
        ASSERT_EQ(s.perCore.size(), c.perCore.size()) << c.description;
        for (size_t i = 0; i < c.perCore.size(); ++i) EXPECT_NEAR(s.perCore[i], c.perCore[i], 1e-12) << c.description;
        EXPECT_EQ(s.date, 1234.5);
    }
}

TEST_F(CPUMonitorTest, MachineFactsComeWithEverySnapshot)
{
    sysctl->set("hw.physicalcpu", std::int32_t{8});
    sysctl->setText("machdep.cpu.brand_string", "AMD EPYC");
    host->load = {1.5, 0.75};
    host->processors = 16;
    CPUSnapshot s = monitor.snapshot({}, {}, 0);
    EXPECT_EQ(s.loadAverage, (std::vector<double>{1.5, 0.75}));
    EXPECT_EQ(s.logicalCores, 16);
    EXPECT_EQ(s.physicalCores, 8);
    EXPECT_FALSE(s.performanceCores) << "a machine without performance levels";
    EXPECT_FALSE(s.efficiencyCores);
    EXPECT_EQ(s.brand, "AMD EPYC");

    sysctl->set("hw.perflevel0.physicalcpu", std::int32_t{4});
    sysctl->set("hw.perflevel1.physicalcpu", std::int32_t{6});
    host->load.clear();
    s = monitor.snapshot({}, {}, 0);
    EXPECT_TRUE(s.loadAverage.empty());
    EXPECT_EQ(s.performanceCores, 4);
    EXPECT_EQ(s.efficiencyCores, 6);
}

TEST_F(CPUMonitorTest, SamplingNeedsTwoComparableReadings)
{
    host->counters = flat({{100, 50, 850, 0}, {10, 10, 10, 10}});
    EXPECT_FALSE(monitor.sample()) << "the first reading is only a baseline";
    host->counters = flat({{160, 70, 1010, 10}, {20, 10, 10, 10}});
    auto s = monitor.sample();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->perCore.size(), 2u);

    host->counters.reset();
    EXPECT_FALSE(monitor.sample()) << "a failed reading";
    host->counters = flat({{260, 70, 1010, 10}, {20, 10, 10, 10}});
    s = monitor.sample();
    ASSERT_TRUE(s) << "the baseline survives a failed reading";
    EXPECT_NEAR(s->perCore[0], 1.0, 1e-12);

    host->counters = flat({{300, 70, 1010, 10}});
    EXPECT_FALSE(monitor.sample()) << "the core count changed";
    host->counters = flat({{400, 70, 1110, 10}});
    s = monitor.sample();
    ASSERT_TRUE(s) << "the new count is the new baseline";
    EXPECT_NEAR(s->user, 0.5, 1e-12);
}

TEST(Sysctl, ReadsFollowTheCallingConvention)
{
    FakeSysctl sysctl;
    sysctl.setText("machdep.cpu.brand_string", "");
    EXPECT_EQ(Sysctl::string("machdep.cpu.brand_string", sysctl), "") << "size 1: only the terminating zero";
    EXPECT_FALSE(Sysctl::string("no.such.name", sysctl));
    EXPECT_FALSE(Sysctl::int32("no.such.name", sysctl));
    sysctl.values["hw.physicalcpu"] = {};
    EXPECT_FALSE(Sysctl::string("hw.physicalcpu", sysctl)) << "a reported size of 0";

    SwapUsage usage;
    usage.total = 30;
    usage.used = 10;
    usage.available = 20;
    sysctl.set("vm.swapusage", usage);
    const auto read = Sysctl::value("vm.swapusage", SwapUsage{}, sysctl);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->used, 10u);
}

TEST(MachTime, TicksBecomeNanosecondsWithoutOverflow)
{
    EXPECT_EQ(MachTime::nanoseconds(250, {1'000'000'000, 100}), 2'500'000'000u);
    EXPECT_EQ(MachTime::nanoseconds(7, {125, 3}), 291u);   // 875 / 3, truncated
    EXPECT_EQ(MachTime::nanoseconds(7, {1, 1}), 7u);
    // A count whose plain product would overflow 64 bits.
    EXPECT_EQ(MachTime::nanoseconds(1'000'000'000'000ULL, {1'000'000'000, 100}), 10'000'000'000'000'000'000ULL);
}

TEST(CPUMonitorLive, CountsAgreeWithTheSystem)
{
    CPUMonitor monitor;
    ASSERT_FALSE(monitor.sample());
    const auto s = monitor.sample();
    ASSERT_TRUE(s);
    EXPECT_EQ(static_cast<int>(s->perCore.size()), MachHost::port()->activeProcessorCount());
    EXPECT_NEAR(s->user + s->system + s->idle + s->nice, 1.0, 1e-9);
    EXPECT_EQ(s->loadAverage.size(), 3u);
}

TEST(CPUMonitor, SharesOnlyOverTheMinimumInterval)
{
    auto host = std::make_shared<FakeHostStatistics>();
    auto now = std::chrono::steady_clock::time_point{};
    CPUMonitor monitor(host, std::make_shared<FakeSysctl>(), [&] { return now; });
    monitor.setMinimumInterval(std::chrono::seconds(1));

    host->counters = flat({{100, 50, 850, 0}});
    EXPECT_FALSE(monitor.sample());
    // An extra reading milliseconds later tells nothing and keeps the baseline.
    now += std::chrono::milliseconds(5);
    host->counters = flat({{101, 50, 850, 0}});
    EXPECT_FALSE(monitor.sample());
    now += std::chrono::milliseconds(995);
    host->counters = flat({{160, 70, 1010, 10}});
    const auto snapshot = monitor.sample();
    ASSERT_TRUE(snapshot);
    EXPECT_NEAR(snapshot->user, 0.24, 1e-12);
}

// With nice, iowait, interrupt and steal time present, every tick lands in one of the four shares.
TEST(CPUMonitorOverProc, SharesAddUpWithEveryKindOfTime)
{
    TempDir dir;
    // Columns: user nice system idle iowait irq softirq steal guest guest_nice.
    const auto write = [&](const std::string& cpu0, const std::string& cpu1) {
        dir.write("proc/stat", "cpu  0 0 0 0 0 0 0 0 0 0\ncpu0 " + cpu0 + "\ncpu1 " + cpu1 + "\n");
    };
    auto host = std::make_shared<LinuxHostStatistics>(dir.path() + "/proc");
    CPUMonitor monitor(host, std::make_shared<FakeSysctl>());
    const std::vector<std::pair<std::string, std::string>> readings{
        {"100 0 50 800 0 0 0 0 0 0", "100 0 50 800 0 0 0 0 0 0"},
        // +118 user +44 nice +30 system +8 idle; +40 user +60 system +40 iowait +20 irq +10 softirq +30 steal
        {"218 44 80 808 0 0 0 0 0 0", "140 0 110 800 40 20 10 30 0 0"},
    };
    write(readings[0].first, readings[0].second);
    ASSERT_FALSE(monitor.sample());
    write(readings[1].first, readings[1].second);
    const auto s = monitor.sample();
    ASSERT_TRUE(s);
    EXPECT_NEAR(s->user, 158.0 / 400, 1e-12);
    EXPECT_NEAR(s->nice, 44.0 / 400, 1e-12);
    EXPECT_NEAR(s->system, (30.0 + 60 + 20 + 10 + 30) / 400, 1e-12) << "interrupts and steal are not ours to idle";
    EXPECT_NEAR(s->idle, (8.0 + 40) / 400, 1e-12) << "waiting for I/O leaves the core idle";
    EXPECT_NEAR(s->user + s->nice + s->system + s->idle, 1.0, 1e-12);
    EXPECT_NEAR(s->perCore[1], 160.0 / 200, 1e-12);
}
