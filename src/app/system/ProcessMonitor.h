#pragma once

#include "app/system/MachHost.h"
#include "index/ApplicationRecords.h"
#include "index/ProcessRecords.h"
#include "platform/ProcessTable.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Lists every process with its owner, memory and CPU use since the previous sample.
// Safe to call from several threads; samples are taken one at a time.
class ProcessMonitor {
public:
    using UptimeSource = std::function<std::uint64_t()>; // monotonic nanoseconds

    ProcessMonitor();
    ProcessMonitor(std::shared_ptr<ProcessTable> table, UptimeSource uptime, MachTime::Timebase timebase);

    // Every process the system can name, unsorted. A process whose baseline is younger
    // than the minimum interval keeps that baseline and its last CPU figure.
    std::vector<ProcessSnapshot> sample();
    void setMinimumInterval(std::uint64_t nanoseconds);

    std::vector<std::int32_t> allPIDs() const;
    // Everything but owner name, CPU and footprint; nothing for a process that has no name at all.
    std::optional<ProcessSnapshot> basicInfo(std::int32_t pid) const;
    std::optional<std::string> executablePath(std::int32_t pid) const;

    // The processes whose executable lies inside the application bundle at `appPath`.
    static ApplicationUsage usage(std::string_view appPath, const std::vector<ProcessSnapshot>& processes);
    // The processes for which `belongs` holds, in list order.
    static ApplicationUsage usage(const std::vector<ProcessSnapshot>& processes,
                                  const std::function<bool(const ProcessSnapshot&)>& belongs);

private:
    struct CPUReading {
        std::uint64_t time = 0; // nanoseconds of CPU
        std::uint64_t at = 0;   // monotonic nanoseconds
        std::optional<double> percent; // the figure measured up to this reading
    };

    std::optional<ProcessSnapshot> snapshot(std::int32_t pid, const ProcFacts& facts) const;
    std::string ownerName(std::uint32_t uid);

    std::shared_ptr<ProcessTable> table_;
    UptimeSource uptime_;
    MachTime::Timebase timebase_;

    std::mutex sampling_;  // one sample at a time; guards everything below
    std::map<std::int32_t, CPUReading> previousCPU_;
    std::uint64_t minimumInterval_ = 0;
    std::map<std::uint32_t, std::string> userNames_;
};
