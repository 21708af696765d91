#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One CPU sample. Shares are fractions from 0 to 1 of the time since the previous reading.
struct CPUSnapshot {
    double date = 0;                      // seconds since 1970
    double user = 0;
    double system = 0;
    double idle = 0;
    double nice = 0;
    std::vector<double> perCore;          // busy share of each core, in core order
    std::vector<double> loadAverage;      // 1, 5 and 15 minutes, as many as the system gave
    int logicalCores = 0;
    std::optional<int> physicalCores;
    std::optional<int> performanceCores;
    std::optional<int> efficiencyCores;
    std::optional<std::string> brand;

    friend bool operator==(const CPUSnapshot&, const CPUSnapshot&) = default;
};

enum class MemoryPressure { normal, warning, critical, unknown };

// "Normal", "Moderate", "Critical", "Unknown": also the texts shown.
std::string_view rawValue(MemoryPressure pressure);
std::optional<MemoryPressure> memoryPressureFromRawValue(std::string_view text);
// Kernel levels 1, 2 and 4; anything else, or no reading, is unknown.
MemoryPressure memoryPressureFromLevel(std::optional<std::int32_t> level);

// One memory sample, in bytes.
struct MemorySnapshot {
    double date = 0;                      // seconds since 1970
    std::uint64_t total = 0;
    std::uint64_t pageSize = 0;
    std::uint64_t app = 0;
    std::uint64_t wired = 0;
    std::uint64_t compressed = 0;
    std::uint64_t cached = 0;
    std::uint64_t free = 0;
    std::optional<std::uint64_t> swapTotal;
    std::optional<std::uint64_t> swapUsed;
    std::optional<std::uint64_t> swapAvailable;
    MemoryPressure pressure = MemoryPressure::unknown;
    std::optional<int> systemFreePercent;

    // The fill of the pressure gauge.
    double pressureFraction() const;

    friend bool operator==(const MemorySnapshot&, const MemorySnapshot&) = default;
};
