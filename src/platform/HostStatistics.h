#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Page counts of the virtual-memory statistics, by the kernel's categories.
struct VMStatistics {
    std::uint64_t freeCount = 0;
    std::uint64_t wireCount = 0;
    std::uint64_t internalPageCount = 0;   // anonymous
    std::uint64_t purgeableCount = 0;
    std::uint64_t speculativeCount = 0;
    std::uint64_t externalPageCount = 0;   // file-backed
    std::uint64_t compressorPageCount = 0;
};

// What the kernel tells about the whole machine.
class HostStatistics {
public:
    // Index of each counter within a processor's four.
    enum CPUState { userState = 0, systemState = 1, idleState = 2, niceState = 3 };

    virtual ~HostStatistics() = default;

    // Four cumulative tick counters per processor, processor after processor.
    virtual std::optional<std::vector<std::uint64_t>> processorLoad() = 0;
    virtual std::optional<std::uint64_t> pageSize() = 0;
    virtual std::optional<VMStatistics> vmStatistics() = 0;
    virtual std::uint64_t physicalMemory() = 0;
    virtual int activeProcessorCount() = 0;
    // Fills up to `count` load averages; the number filled, or -1.
    virtual int loadAverage(double* values, int count) = 0;
};
