#include "app/system/MemoryMonitor.h"

#include "app/system/MachHost.h"
#include "app/system/Sysctl.h"

#include <chrono>

MemoryMonitor::MemoryMonitor() : MemoryMonitor(MachHost::port(), Sysctl::defaultSource()) {}

MemoryMonitor::MemoryMonitor(std::shared_ptr<HostStatistics> host, std::shared_ptr<SysctlSource> sysctl)
    : host_(std::move(host)), sysctl_(std::move(sysctl))
{
}

std::optional<MemorySnapshot> MemoryMonitor::sample() const
{
    const auto pageSize = host_->pageSize();
    if (!pageSize || *pageSize == 0) return std::nullopt;
    const auto statistics = host_->vmStatistics();
    if (!statistics) return std::nullopt;
    const auto swap = Sysctl::value("vm.swapusage", SwapUsage{}, *sysctl_);

    const std::uint64_t page = *pageSize;
    const VMStatistics& vm = *statistics;
    MemorySnapshot snapshot;
    snapshot.date = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    snapshot.total = host_->physicalMemory();
    snapshot.pageSize = page;
    // Differences that would go below zero are floored rather than wrapped.
    snapshot.app = vm.purgeableCount >= vm.internalPageCount ? 0 : (vm.internalPageCount - vm.purgeableCount) * page;
    snapshot.wired = vm.wireCount * page;
    snapshot.compressed = vm.compressorPageCount * page;
    snapshot.cached = (vm.purgeableCount + vm.speculativeCount + vm.externalPageCount) * page;
    snapshot.free = vm.speculativeCount >= vm.freeCount ? 0 : (vm.freeCount - vm.speculativeCount) * page;
    if (swap) {
        snapshot.swapTotal = swap->total;
        snapshot.swapAvailable = swap->available;
        snapshot.swapUsed = swap->used;
    }
    snapshot.pressure = memoryPressureFromLevel(Sysctl::int32("kern.memorystatus_vm_pressure_level", *sysctl_));
    if (const auto level = Sysctl::int32("kern.memorystatus_level", *sysctl_)) snapshot.systemFreePercent = *level;
    return snapshot;
}
