#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Run state of a process; the raw value is also the text of the state column.
enum class ProcessState { running, sleeping, stopped, zombie, idle, unknown };

std::string_view rawValue(ProcessState state);
std::optional<ProcessState> processStateFromRawValue(std::string_view text);

// 1 idle (being created), 2 running, 3 sleeping, 4 stopped, 5 zombie; anything else unknown.
ProcessState processStateFromBSDStatus(std::uint32_t status);

// One sampled process. Absent figures are ones the process monitor could not obtain.
struct ProcessSnapshot {
    std::int32_t pid = 0;
    std::int32_t parentPID = 0;
    std::string name;
    std::optional<std::string> executablePath;
    std::optional<std::uint32_t> ownerUID;
    std::optional<std::string> ownerName;
    std::optional<double> cpuPercent;          // percent of one core, may exceed 100
    std::optional<std::int64_t> memoryBytes;   // physical footprint
    std::optional<std::int64_t> residentBytes;
    std::optional<int> threadCount;
    ProcessState state = ProcessState::unknown;
    std::optional<double> startTime;           // seconds since 1970
    std::optional<std::uint64_t> startTicks;   // since boot; with the pid, names the process for good
    std::optional<std::string> sessionAppID;   // the application whose session scope the process runs in

    std::int32_t id() const { return pid; }

    // Absent figures sort as -1, below every present figure including 0.
    double cpuSortKey() const { return cpuPercent.value_or(-1.0); }
    std::int64_t memorySortKey() const { return memoryBytes.value_or(-1); }
    int threadSortKey() const { return threadCount.value_or(-1); }

    // kthreadd (pid 2) and its children, none with an executable.
    bool isKernelThread() const { return !executablePath && (pid == 2 || parentPID == 2); }

    friend bool operator==(const ProcessSnapshot&, const ProcessSnapshot&) = default;
};

// Cumulative tick counters of one logical core.
struct CoreTicks {
    std::uint64_t user = 0;
    std::uint64_t system = 0;
    std::uint64_t idle = 0;
    std::uint64_t nice = 0;

    friend bool operator==(const CoreTicks&, const CoreTicks&) = default;
};

template <>
struct std::hash<ProcessSnapshot> {
    std::size_t operator()(const ProcessSnapshot& process) const noexcept;
};
