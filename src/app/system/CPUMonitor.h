#pragma once

#include "app/system/MonitorRecords.h"
#include "index/ProcessRecords.h"
#include "platform/HostStatistics.h"
#include "platform/SysctlSource.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Turns the kernel's cumulative per-core tick counters into CPU shares since the
// previous reading. Safe to call from several threads; readings are serialized.
class CPUMonitor {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    CPUMonitor();
    CPUMonitor(std::shared_ptr<HostStatistics> host, std::shared_ptr<SysctlSource> sysctl, Clock clock = {});

    // Nothing on the first call (and after the core count changed): a share needs two readings.
    // Nothing either for a reading taken sooner than the minimum interval after the
    // baseline, which stays: shares over a few milliseconds say nothing.
    std::optional<CPUSnapshot> sample();
    void setMinimumInterval(std::chrono::steady_clock::duration interval);

    // The shares between two readings, with load, core counts and brand read now.
    CPUSnapshot snapshot(const std::vector<CoreTicks>& previous, const std::vector<CoreTicks>& current,
                         double date) const;

    std::optional<std::vector<CoreTicks>> readTicks() const;

private:
    std::shared_ptr<HostStatistics> host_;
    std::shared_ptr<SysctlSource> sysctl_;
    Clock clock_;

    std::mutex mutex_;
    std::optional<std::vector<CoreTicks>> previous_;
    std::chrono::steady_clock::time_point previousTakenAt_;
    std::chrono::steady_clock::duration minimumInterval_{};
};
