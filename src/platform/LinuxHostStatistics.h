#pragma once

#include "platform/HostStatistics.h"

#include <string>

// Machine statistics read from /proc (or a folder laid out like it).
class LinuxHostStatistics : public HostStatistics {
public:
    explicit LinuxHostStatistics(std::string procRoot = "/proc");

    std::optional<std::vector<std::uint64_t>> processorLoad() override;
    std::optional<std::uint64_t> pageSize() override;
    std::optional<VMStatistics> vmStatistics() override;
    std::uint64_t physicalMemory() override;
    int activeProcessorCount() override;
    int loadAverage(double* values, int count) override;

private:
    std::string root_;
};
