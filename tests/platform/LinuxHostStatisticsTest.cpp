#include "platform/LinuxHostStatistics.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

std::string commandOutput(const char* command)
{
    std::string output;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command, "r"), ::pclose);
    if (!pipe) return output;
    char buffer[4096];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) output.append(buffer, n);
    return output;
}

} // namespace

TEST(LinuxHostStatistics, ProcessorCountersFoldIntoFourStates)
{
    TempDir dir;
    // user nice system idle iowait irq softirq steal guest guest_nice
    dir.write("proc/stat", "cpu  300 20 70 900 40 5 5 7 0 0\n"
                           "cpu0 100 10 30 400 20 2 3 4 0 0\n"
                           "cpu1 200 10 40 500 20 3 2 3 0 0\n"
                           "intr 1 2 3\nctxt 5\nbtime 1700000000\n");
    LinuxHostStatistics host(dir.path() + "/proc");
    const auto counters = host.processorLoad();
    ASSERT_TRUE(counters);
    // user, system (+irq +softirq +steal), idle (+iowait), nice per processor; the summary line is skipped.
    EXPECT_EQ(*counters, (std::vector<std::uint64_t>{100, 39, 420, 10, 200, 48, 520, 10}));

    // Kernels before steal time list seven columns.
    dir.write("proc/stat", "cpu0 100 10 30 400 20 2 3\n");
    EXPECT_EQ(host.processorLoad(), (std::vector<std::uint64_t>{100, 35, 420, 10}));

    dir.write("proc/stat", "cpu0 100 10\n");
    EXPECT_FALSE(host.processorLoad());
    EXPECT_FALSE(LinuxHostStatistics(dir.path() + "/missing").processorLoad());
}

TEST(LinuxHostStatistics, MeminfoMapsOntoPageCategories)
{
    TempDir dir;
    const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t kbPerPage = page / 1024;
    auto kb = [&](std::uint64_t pages) { return std::to_string(pages * kbPerPage) + " kB\n"; };
    const auto meminfo = [&](std::optional<std::uint64_t> available) {
        return "MemTotal:       " + kb(10000) + "MemFree:        " + kb(2000)
               + (available ? "MemAvailable:   " + kb(*available) : std::string()) + "Buffers:        " + kb(100)
               + "Cached:         " + kb(3000) + "AnonPages:      " + kb(2500) + "Shmem:          " + kb(400)
               + "SReclaimable:   " + kb(300) + "SUnreclaim:     " + kb(200) + "KernelStack:    " + kb(20)
               + "PageTables:     " + kb(30) + "Zswap:          " + kb(50);
    };
    struct Case {
        const char* description;
        std::optional<std::uint64_t> available;
        std::uint64_t internal, wired, compressed;
    };
    const Case cases[] = {
        // In use, as free(1) counts it, is what MemAvailable leaves: 4000 pages.
        {"with MemAvailable", 6000, 4000 - 250 - 50, 250, 50},
        // Less in use than wired and compressed memory hold: nothing is left for applications.
        {"MemAvailable above what the kernel holds", 9800, 0, 150, 50},
        {"MemAvailable above the total", 12000, 0, 0, 0},
        // Kernels before 3.14: anonymous + shared memory.
        {"without MemAvailable", std::nullopt, 2900, 250, 50},
    };
    LinuxHostStatistics host(dir.path() + "/proc");
    for (const Case& c : cases) {
        dir.write("proc/meminfo", meminfo(c.available));
        const auto vm = host.vmStatistics();
        ASSERT_TRUE(vm) << c.description;
        EXPECT_EQ(vm->freeCount, 2000u) << c.description;
        EXPECT_EQ(vm->internalPageCount, c.internal) << c.description;
        EXPECT_EQ(vm->wireCount, c.wired) << c.description;
        EXPECT_EQ(vm->compressorPageCount, c.compressed) << c.description;
        // buffers + page cache without shmem + reclaimable slab
        EXPECT_EQ(vm->externalPageCount, 100u + 2600 + 300) << c.description;
        EXPECT_EQ(vm->purgeableCount, 0u);
        EXPECT_EQ(vm->speculativeCount, 0u);
    }
    EXPECT_EQ(host.physicalMemory(), 10000 * page);

    dir.write("proc/meminfo", "MemTotal: 100 kB\n");
    EXPECT_FALSE(host.vmStatistics());
}

TEST(LinuxHostStatistics, LoadAveragesAsManyAsAsked)
{
    TempDir dir;
    dir.write("proc/loadavg", "0.50 1.25 2.00 1/174 10151\n");
    LinuxHostStatistics host(dir.path() + "/proc");
    double values[3] = {};
    EXPECT_EQ(host.loadAverage(values, 3), 3);
    EXPECT_DOUBLE_EQ(values[2], 2.0);
    EXPECT_EQ(host.loadAverage(values, 2), 2);
    dir.write("proc/loadavg", "garbage\n");
    EXPECT_EQ(host.loadAverage(values, 3), -1);
}

TEST(LinuxHostStatistics, AgreesWithTheSystemTools)
{
    LinuxHostStatistics host;
    EXPECT_EQ(host.activeProcessorCount(), std::stoi(commandOutput("nproc")));

    // "free -b": the Mem: line holds total, used, free, shared, buff/cache, available.
    const std::string free = commandOutput("free -b");
    const auto vm = host.vmStatistics();
    const auto page = host.pageSize();
    ASSERT_TRUE(vm && page);
    if (free.find("Mem:") == std::string::npos) GTEST_SKIP() << "free (procps) is not installed";
    std::uint64_t total = 0, used = 0, freeBytes = 0;
    ASSERT_EQ(std::sscanf(free.c_str() + free.find("Mem:"), "Mem: %lu %lu %lu", &total, &used, &freeBytes), 3);
    EXPECT_EQ(host.physicalMemory(), total);
    const double freeNow = static_cast<double>(vm->freeCount * *page);
    EXPECT_NEAR(freeNow, static_cast<double>(freeBytes), 0.02 * static_cast<double>(total));
    const double usedNow = static_cast<double>((vm->internalPageCount + vm->wireCount + vm->compressorPageCount) * *page);
    EXPECT_NEAR(usedNow, static_cast<double>(used), 0.02 * static_cast<double>(total)) << "used as free(1) counts it";
}
