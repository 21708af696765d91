#include "app/system/MemoryMonitor.h"
#include "FakeSystemSources.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

TEST(MemoryMonitor, PageCountsBecomeCategories)
{
    struct Case {
        const char* description;
        VMStatistics vm;
        std::uint64_t app, wired, compressed, cached, free; // pages
    };
    auto vm = [](std::uint64_t free, std::uint64_t wire, std::uint64_t internal, std::uint64_t purgeable,
                 std::uint64_t speculative, std::uint64_t external, std::uint64_t compressor) {
        VMStatistics s;
        s.freeCount = free;
        s.wireCount = wire;
        s.internalPageCount = internal;
        s.purgeableCount = purgeable;
        s.speculativeCount = speculative;
        s.externalPageCount = external;
        s.compressorPageCount = compressor;
        return s;
    };
    const Case cases[] = {
        {"the worked example", vm(20, 150, 200, 10, 5, 80, 50), 190, 150, 50, 95, 15},
        {"purgeable above internal", vm(20, 0, 10, 11, 0, 0, 0), 0, 0, 0, 11, 20},
        {"speculative above free", vm(5, 0, 0, 0, 6, 0, 0), 0, 0, 0, 6, 0},
    };
    for (const auto& c : cases) {
        auto host = std::make_shared<FakeHostStatistics>();
        host->page = 16384;
        host->vm = c.vm;
        host->memory = 1 << 30;
        const auto s = MemoryMonitor(host, std::make_shared<FakeSysctl>()).sample();
        ASSERT_TRUE(s) << c.description;
        EXPECT_EQ(s->app, c.app * 16384) << c.description;
        EXPECT_EQ(s->wired, c.wired * 16384) << c.description;
        EXPECT_EQ(s->compressed, c.compressed * 16384) << c.description;
        EXPECT_EQ(s->cached, c.cached * 16384) << c.description;
        EXPECT_EQ(s->free, c.free * 16384) << c.description;
        EXPECT_EQ(s->pageSize, 16384u);
        EXPECT_EQ(s->total, 1u << 30);
    }
}

TEST(MemoryMonitor, OptionalFiguresAndFailures)
{
    auto host = std::make_shared<FakeHostStatistics>();
    auto sysctl = std::make_shared<FakeSysctl>();
    MemoryMonitor monitor(host, sysctl);

    auto s = monitor.sample();
    ASSERT_TRUE(s) << "swap, pressure and free share are optional";
    EXPECT_FALSE(s->swapTotal || s->swapUsed || s->swapAvailable);
    EXPECT_EQ(s->pressure, MemoryPressure::unknown);
    EXPECT_FALSE(s->systemFreePercent);

    SwapUsage swap;
    swap.total = 300;
    swap.available = 100;
    swap.used = 200;
    sysctl->set("vm.swapusage", swap);
    sysctl->set("kern.memorystatus_level", std::int32_t{72});
    const std::pair<std::int32_t, MemoryPressure> levels[] = {
        {1, MemoryPressure::normal}, {2, MemoryPressure::warning}, {3, MemoryPressure::unknown},
        {4, MemoryPressure::critical}, {0, MemoryPressure::unknown}, {5, MemoryPressure::unknown},
        {-1, MemoryPressure::unknown},
    };
    for (const auto& [level, pressure] : levels) {
        sysctl->set("kern.memorystatus_vm_pressure_level", level);
        s = monitor.sample();
        ASSERT_TRUE(s);
        EXPECT_EQ(s->pressure, pressure) << level;
    }
    EXPECT_EQ(s->swapTotal, 300u);
    EXPECT_EQ(s->swapAvailable, 100u);
    EXPECT_EQ(s->swapUsed, 200u);
    EXPECT_EQ(s->systemFreePercent, 72);

    host->page = 0;
    EXPECT_FALSE(monitor.sample());
    host->page = 4096;
    host->vm.reset();
    EXPECT_FALSE(monitor.sample());
}

TEST(MemoryMonitor, PressureFractionAndTexts)
{
    MemorySnapshot s;
    const std::pair<std::optional<int>, double> byFreePercent[] = {{72, 0.28}, {0, 1.0}, {120, 0.0}, {-5, 1.0}};
    for (const auto& [percent, fraction] : byFreePercent) {
        s.systemFreePercent = percent;
        EXPECT_NEAR(s.pressureFraction(), fraction, 1e-12) << *percent;
    }
    s.systemFreePercent.reset();
    EXPECT_EQ(s.pressureFraction(), 0.0) << "no total";
    s.total = 100;
    s.app = 60;
    s.wired = 40;
    s.compressed = 20;
    EXPECT_NEAR(s.pressureFraction(), 1.2, 1e-12) << "not clamped without the kernel's figure";

    EXPECT_EQ(rawValue(MemoryPressure::warning), "Moderate");
    EXPECT_EQ(memoryPressureFromRawValue("Moderate"), MemoryPressure::warning);
    EXPECT_EQ(memoryPressureFromRawValue("Critical"), MemoryPressure::critical);
    EXPECT_FALSE(memoryPressureFromRawValue("Warning"));
    EXPECT_FALSE(memoryPressureFromRawValue("normal"));
}

TEST(MemoryMonitorLive, AgreesWithFree)
{
    const auto s = MemoryMonitor().sample();
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen("free -b", "r"), ::pclose);
    ASSERT_TRUE(s && pipe);
    char line[512];
    std::uint64_t total = 0, used = 0, free = 0, shared = 0, cache = 0, available = 0;
    while (std::fgets(line, sizeof line, pipe.get()))
        if (std::sscanf(line, "Mem: %lu %lu %lu %lu %lu %lu", &total, &used, &free, &shared, &cache, &available) == 6)
            break;
    if (total == 0) GTEST_SKIP() << "free (procps) is not installed";
    EXPECT_EQ(s->total, total);
    // Free memory moves between the two readings; a few percent of the total is plenty.
    EXPECT_NEAR(static_cast<double>(s->free), static_cast<double>(free), 0.02 * static_cast<double>(total));
    EXPECT_NEAR(static_cast<double>(s->app + s->wired + s->compressed), static_cast<double>(used),
                0.02 * static_cast<double>(total));
    ASSERT_TRUE(s->systemFreePercent);
    EXPECT_NEAR(*s->systemFreePercent, 100.0 * static_cast<double>(available) / static_cast<double>(total), 2.0);
    EXPECT_LE(s->app + s->wired + s->compressed, s->total);
    EXPECT_LE(s->free, s->total);
}
