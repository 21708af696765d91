#include "platform/LinuxSysctl.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace {

std::optional<std::int32_t> int32(LinuxSysctl& sysctl, const char* name)
{
    std::int32_t value = 0;
    size_t size = sizeof value;
    if (sysctl.sysctlByName(name, &value, &size) != 0) return std::nullopt;
    return value;
}

// One processor folder: online flag (absent for cpu0), package, core, capacity.
void writeProcessor(const TempDir& dir, int index, int package, int core, std::optional<int> capacity,
                    bool online = true)
{
    const std::string folder = "sys/devices/system/cpu/cpu" + std::to_string(index);
    if (index > 0) dir.write(folder + "/online", online ? "1\n" : "0\n");
    dir.write(folder + "/topology/physical_package_id", std::to_string(package) + "\n");
    dir.write(folder + "/topology/core_id", std::to_string(core) + "\n");
    if (capacity) dir.write(folder + "/cpu_capacity", std::to_string(*capacity) + "\n");
}

} // namespace

TEST(LinuxSysctl, CoreCountsFromTheTopology)
{
    struct Case {
        const char* description;
        std::vector<std::tuple<int, int, std::optional<int>, bool>> processors; // package, core, capacity, online
        std::optional<int> physical, level0, level1;
    };
    const Case cases[] = {
        {"two cores with two threads each", {{0, 0, {}, true}, {0, 0, {}, true}, {0, 1, {}, true}, {0, 1, {}, true}},
         2, {}, {}},
        {"equal capacities are one class", {{0, 0, 1024, true}, {0, 1, 1024, true}}, 2, {}, {}},
        {"big and little cores", {{0, 0, 1024, true}, {0, 1, 1024, true}, {0, 2, 446, true}, {0, 3, 446, true},
                                  {0, 4, 446, true}},
         5, 2, 3},
        {"an offline processor is not counted", {{0, 0, {}, true}, {0, 1, {}, true}, {0, 2, {}, false}}, 2, {}, {}},
        {"two packages reuse core ids", {{0, 0, {}, true}, {1, 0, {}, true}}, 2, {}, {}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        int index = 0;
        for (const auto& [package, core, capacity, online] : c.processors)
            writeProcessor(dir, index++, package, core, capacity, online);
        dir.write("sys/devices/system/cpu/cpufreq/policy0/x", "");   // not a processor
        LinuxSysctl sysctl(dir.path() + "/proc", dir.path() + "/sys");
        EXPECT_EQ(int32(sysctl, "hw.physicalcpu"), c.physical) << c.description;
        EXPECT_EQ(int32(sysctl, "hw.perflevel0.physicalcpu"), c.level0) << c.description;
        EXPECT_EQ(int32(sysctl, "hw.perflevel1.physicalcpu"), c.level1) << c.description;
    }
}

TEST(LinuxSysctl, MemoryPressureFromStallShares)
{
    struct Case { const char* text; std::optional<int> level; };
    const Case cases[] = {
        {"some avg10=0.00 avg60=0.00 avg300=0.00 total=0\nfull avg10=0.00 avg60=0.00 avg300=0.00 total=0\n", 1},
        {"some avg10=12.50 avg60=3.00 avg300=1.00 total=99\nfull avg10=2.00 avg60=0.00 avg300=0.00 total=9\n", 2},
        {"some avg10=40.00 avg60=3.00 avg300=1.00 total=99\nfull avg10=25.00 avg60=0.00 avg300=0.00 total=9\n", 4},
        {"some avg10=9.99 avg60=90.00 avg300=1.00 total=99\n", 1},
        {"garbage\n", {}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("proc/pressure/memory", c.text);
        LinuxSysctl sysctl(dir.path() + "/proc", dir.path() + "/sys");
        EXPECT_EQ(int32(sysctl, "kern.memorystatus_vm_pressure_level"), c.level) << c.text;
    }
    TempDir empty;
    LinuxSysctl missing(empty.path() + "/proc", empty.path() + "/sys");
    errno = 0;
    EXPECT_FALSE(int32(missing, "kern.memorystatus_vm_pressure_level"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(LinuxSysctl, MeminfoAndCpuinfoValues)
{
    TempDir dir;
    dir.write("proc/meminfo", "MemTotal: 1000 kB\nMemFree: 100 kB\nMemAvailable: 720 kB\n"
                              "SwapTotal: 2048 kB\nSwapFree: 512 kB\n");
    dir.write("proc/cpuinfo", "processor\t: 0\nvendor_id\t: AuthenticAMD\nmodel name\t: AMD EPYC 7B13  \n\n"
                              "processor\t: 1\nmodel name\t: AMD EPYC 7B13\n");
    LinuxSysctl sysctl(dir.path() + "/proc", dir.path() + "/sys");

    EXPECT_EQ(int32(sysctl, "kern.memorystatus_level"), 72);
    // Rounded as the available bytes read: 96.7% is 97%, not 96%.
    const std::pair<const char*, std::int32_t> rounded[] = {
        {"MemTotal: 1000 kB\nMemAvailable: 967 kB\n", 97},
        {"MemTotal: 1000 kB\nMemAvailable: 964 kB\n", 96},
        {"MemTotal: 1000 kB\nMemAvailable: 1200 kB\n", 100},
        {"MemTotal: 1000 kB\nMemAvailable: 0 kB\n", 0},
    };
    for (const auto& [meminfo, percent] : rounded) {
        TempDir other;
        other.write("proc/meminfo", meminfo);
        LinuxSysctl reading(other.path() + "/proc", other.path() + "/sys");
        EXPECT_EQ(int32(reading, "kern.memorystatus_level"), percent) << meminfo;
    }

    SwapUsage swap;
    size_t size = sizeof swap;
    ASSERT_EQ(sysctl.sysctlByName("vm.swapusage", &swap, &size), 0);
    EXPECT_EQ(swap.total, 2048u * 1024);
    EXPECT_EQ(swap.available, 512u * 1024);
    EXPECT_EQ(swap.used, 1536u * 1024);

    // Without a buffer only the size is told; a short buffer is refused.
    size = 0;
    ASSERT_EQ(sysctl.sysctlByName("machdep.cpu.brand_string", nullptr, &size), 0);
    EXPECT_EQ(size, std::strlen("AMD EPYC 7B13") + 1);
    std::string brand(size, 'x');
    ASSERT_EQ(sysctl.sysctlByName("machdep.cpu.brand_string", brand.data(), &size), 0);
    EXPECT_STREQ(brand.c_str(), "AMD EPYC 7B13");
    char tiny[4];
    size = sizeof tiny;
    EXPECT_EQ(sysctl.sysctlByName("machdep.cpu.brand_string", tiny, &size), -1);
    EXPECT_EQ(errno, ENOMEM);

    EXPECT_EQ(sysctl.sysctlByName("hw.nosuchvalue", nullptr, &size), -1);
    EXPECT_EQ(errno, ENOENT);

    dir.write("proc/meminfo", "MemTotal: 1000 kB\n");
    dir.write("proc/cpuinfo", "processor\t: 0\nHardware\t: something\n");
    EXPECT_FALSE(int32(sysctl, "kern.memorystatus_level"));
    EXPECT_EQ(sysctl.sysctlByName("vm.swapusage", &swap, &size), -1);
    EXPECT_EQ(sysctl.sysctlByName("machdep.cpu.brand_string", nullptr, &size), -1);
}
