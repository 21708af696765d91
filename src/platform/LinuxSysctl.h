#pragma once

#include "platform/SysctlSource.h"

#include <optional>
#include <string>
#include <vector>

// The named values that the monitors ask for, answered from /proc and /sys:
//   "hw.physicalcpu"                         distinct cores of the online processors
//   "hw.perflevel0.physicalcpu", "...1..."    cores of the fastest and next capacity class,
//                                             only where the processors differ in capacity
//   "machdep.cpu.brand_string"               "model name" of /proc/cpuinfo
//   "vm.swapusage"                           SwapTotal and SwapFree of /proc/meminfo
//   "kern.memorystatus_vm_pressure_level"    1, 2 or 4 from /proc/pressure/memory
//   "kern.memorystatus_level"                MemAvailable as a percentage of MemTotal
class LinuxSysctl : public SysctlSource {
public:
    explicit LinuxSysctl(std::string procRoot = "/proc", std::string sysRoot = "/sys");

    int sysctlByName(const char* name, void* buffer, std::size_t* size) override;

    // Stall shares (percent of the last ten seconds) at which memory counts as
    // under pressure: some task waiting gives a warning, all tasks waiting critical.
    static constexpr double warningStallPercent = 10.0;
    static constexpr double criticalStallPercent = 10.0;

private:
    std::optional<std::vector<unsigned char>> value(std::string_view name);
    std::optional<std::int32_t> physicalCores(std::optional<int> performanceLevel);
    std::optional<std::string> brand();
    std::optional<SwapUsage> swapUsage();
    std::optional<std::int32_t> pressureLevel();
    std::optional<std::int32_t> availablePercent();

    std::string procRoot_;
    std::string sysRoot_;
};
