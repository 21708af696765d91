#include "platform/LinuxHostStatistics.h"

#include "platform/ProcText.h"

#include <algorithm>
#include <sched.h>
#include <unistd.h>

LinuxHostStatistics::LinuxHostStatistics(std::string procRoot) : root_(std::move(procRoot)) {}

std::optional<std::vector<std::uint64_t>> LinuxHostStatistics::processorLoad()
{
    const auto text = ProcText::readFile(root_ + "/stat");
    if (!text) return std::nullopt;
    std::vector<std::uint64_t> counters;
    for (const std::string_view line : ProcText::lines(*text)) {
        // "cpuN user nice system idle iowait irq softirq steal ..."; the bare "cpu" line is the sum.
        if (!line.starts_with("cpu") || line.size() < 4 || line[3] < '0' || line[3] > '9') continue;
        const auto columns = ProcText::fields(line);
        if (columns.size() < 8) return std::nullopt;
        // Steal came with later kernels; guest and guest_nice are already inside user and nice.
        std::uint64_t value[8] = {};
        for (size_t i = 0; i < 8 && i + 1 < columns.size(); ++i) {
            const auto number = ProcText::unsignedNumber(columns[i + 1]);
            if (!number) return std::nullopt;
            value[i] = *number;
        }
        const auto [user, nice, system, idle, iowait, irq, softirq, steal] = value;
        // Every tick lands in one of the four: interrupts are kernel work, and so
        // is time the hypervisor took (the core was busy, not ours); waiting for
        // I/O leaves the core idle.
        counters.push_back(user);
        counters.push_back(system + irq + softirq + steal);
        counters.push_back(idle + iowait);
        counters.push_back(nice);
    }
    return counters;
}

std::optional<std::uint64_t> LinuxHostStatistics::pageSize()
{
    const long size = ::sysconf(_SC_PAGESIZE);
    if (size <= 0) return std::nullopt;
    return static_cast<std::uint64_t>(size);
}

std::optional<VMStatistics> LinuxHostStatistics::vmStatistics()
{
    const auto text = ProcText::readFile(root_ + "/meminfo");
    const auto page = pageSize();
    if (!text || !page) return std::nullopt;
    const auto info = ProcText::keyedNumbers(*text);
    if (!info.contains("MemTotal") || !info.contains("MemFree")) return std::nullopt;
    auto kilobytes = [&](std::string_view key) -> std::uint64_t {
        const auto it = info.find(key);
        return it == info.end() ? 0 : it->second;
    };
    auto pages = [&](std::uint64_t kb) { return kb * 1024 / *page; };

    // Page cache, buffers and reclaimable slab are what the kernel can take back;
    // unreclaimable slab, kernel stacks and page tables are wired; the zswap pool is
    // the compressor. What is in use is what MemAvailable leaves, as free(1) counts
    // it; the applications hold the rest of it once wired and compressed memory are
    // taken out. Linux has no purgeable or speculative pages.
    const std::uint64_t shmem = kilobytes("Shmem");
    const std::uint64_t cached = kilobytes("Cached");
    std::uint64_t wired = kilobytes("SUnreclaim") + kilobytes("KernelStack") + kilobytes("PageTables")
                          + kilobytes("SecPageTables");
    std::uint64_t compressed = kilobytes("Zswap");
    std::uint64_t applications = kilobytes("AnonPages") + shmem;
    if (const auto available = info.find("MemAvailable"); available != info.end()) {
        const std::uint64_t total = kilobytes("MemTotal");
        const std::uint64_t used = total > available->second ? total - available->second : 0;
        compressed = std::min(compressed, used);
        wired = std::min(wired, used - compressed);
        applications = used - compressed - wired;
    }
    VMStatistics statistics;
    statistics.freeCount = pages(kilobytes("MemFree"));
    statistics.wireCount = pages(wired);
    statistics.internalPageCount = pages(applications);
    statistics.externalPageCount = pages(kilobytes("Buffers") + (cached > shmem ? cached - shmem : 0)
                                         + kilobytes("SReclaimable"));
    statistics.compressorPageCount = pages(compressed);
    return statistics;
}

std::uint64_t LinuxHostStatistics::physicalMemory()
{
    const auto text = ProcText::readFile(root_ + "/meminfo");
    if (!text) return 0;
    const auto info = ProcText::keyedNumbers(*text);
    const auto it = info.find("MemTotal");
    return it == info.end() ? 0 : it->second * 1024;
}

int LinuxHostStatistics::activeProcessorCount()
{
    // The processors this program may run on, as nproc counts them.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

int LinuxHostStatistics::loadAverage(double* values, int count)
{
    const auto text = ProcText::readFile(root_ + "/loadavg");
    if (!text) return -1;
    const auto columns = ProcText::fields(*text);
    int filled = 0;
    for (; filled < count && filled < 3 && static_cast<size_t>(filled) < columns.size(); ++filled) {
        const auto value = ProcText::decimalNumber(columns[static_cast<size_t>(filled)]);
        if (!value) break;
        values[filled] = *value;
    }
    return filled > 0 ? filled : -1;
}
