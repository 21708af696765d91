#pragma once

#include "app/system/MonitorRecords.h"
#include "platform/HostStatistics.h"
#include "platform/SysctlSource.h"

#include <memory>
#include <optional>

// Reads the virtual-memory statistics, swap and pressure figures. Keeps no state.
class MemoryMonitor {
public:
    MemoryMonitor();
    MemoryMonitor(std::shared_ptr<HostStatistics> host, std::shared_ptr<SysctlSource> sysctl);

    // Nothing when the page size or the statistics cannot be read.
    std::optional<MemorySnapshot> sample() const;

private:
    std::shared_ptr<HostStatistics> host_;
    std::shared_ptr<SysctlSource> sysctl_;
};
