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

// The system's process table, one question per call; a process that ended or
// that the system will not describe gives nothing.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;

    virtual std::vector<std::int32_t> listAllPIDs() = 0;
    virtual std::optional<ProcBSDInfo> bsdInfo(std::int32_t pid) = 0;
    virtual std::optional<std::string> executablePath(std::int32_t pid) = 0;
    virtual std::optional<std::string> name(std::int32_t pid) = 0;
    virtual std::optional<ProcTaskInfo> taskInfo(std::int32_t pid) = 0;
    virtual std::optional<ProcRusageInfo> rusage(std::int32_t pid) = 0;
    virtual std::optional<std::string> accountName(std::uint32_t uid) = 0;
    // The control group the process runs in, as a path.
    virtual std::optional<std::string> controlGroup(std::int32_t) { return std::nullopt; }
};
