#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// BSD facts of one process. `status` uses the BSD codes: 1 being created,
// 2 running, 3 sleeping, 4 stopped, 5 zombie, 0 unknown.
struct ProcBSDInfo {
    std::uint32_t status = 0;
    std::int32_t parentPID = 0;
    std::uint32_t uid = 0;            // effective user id
    std::string name;                 // the kernel's short command name
    std::uint64_t startSeconds = 0;   // since 1970
    std::uint64_t startMicroseconds = 0;
    std::uint64_t startTicks = 0;     // since boot; with the pid, names the process for good
};

struct ProcTaskInfo {
    std::uint64_t residentSize = 0;
    std::int32_t threadCount = 0;
};

// CPU times are in the process-time units that MachTime's timebase converts.
struct ProcRusageInfo {
    std::uint64_t userTime = 0;
    std::uint64_t systemTime = 0;
    std::uint64_t physFootprint = 0;
};

// What one sample reads once for all its processes.
struct ProcSampleContext {
    std::optional<std::uint64_t> bootSeconds; // since 1970; start times count from it
};

// Everything the table tells about one process, each part absent when the system
// will not give it.
struct ProcFacts {
    std::optional<ProcBSDInfo> bsd;
    std::optional<std::string> executablePath;
    // The kernel's command name, for a process whose BSD facts are missing.
    std::optional<std::string> name;
    std::optional<ProcTaskInfo> task;
    std::optional<ProcRusageInfo> usage;
    std::optional<std::string> controlGroup; // as a path
};

// The system's process table. A process that ended between the listing and its
// description gives empty facts.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;

    virtual std::vector<std::int32_t> listAllPIDs() = 0;
    virtual ProcSampleContext sampleContext() = 0;
    virtual ProcFacts describe(std::int32_t pid, const ProcSampleContext& context) = 0;
    virtual std::optional<std::string> accountName(std::uint32_t uid) = 0;
};
