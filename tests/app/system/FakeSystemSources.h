#pragma once

#include "platform/HostStatistics.h"
#include "platform/SysctlSource.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Stand-ins for the machine's statistics, set by each test.
class FakeHostStatistics : public HostStatistics {
public:
    std::optional<std::vector<std::uint64_t>> counters;
    std::optional<std::uint64_t> page = 4096;
    std::optional<VMStatistics> vm = VMStatistics{};
    std::uint64_t memory = 0;
    int processors = 4;
    std::vector<double> load{0.5, 0.25, 0.125};

    std::optional<std::vector<std::uint64_t>> processorLoad() override { return counters; }
    std::optional<std::uint64_t> pageSize() override { return page; }
    std::optional<VMStatistics> vmStatistics() override { return vm; }
    std::uint64_t physicalMemory() override { return memory; }
    int activeProcessorCount() override { return processors; }
    int loadAverage(double* values, int count) override
    {
        if (load.empty()) return -1;
        int n = 0;
        for (; n < count && n < static_cast<int>(load.size()); ++n) values[n] = load[static_cast<size_t>(n)];
        return n;
    }
};

// Named values as raw bytes; a name without an entry does not exist.
class FakeSysctl : public SysctlSource {
public:
    std::map<std::string, std::vector<unsigned char>> values;

    template <class T>
    void set(const std::string& name, const T& value)
    {
        std::vector<unsigned char> bytes(sizeof(T));
        std::memcpy(bytes.data(), &value, sizeof(T));
        values[name] = bytes;
    }
    void setText(const std::string& name, const std::string& text)
    {
        values[name] = std::vector<unsigned char>(text.begin(), text.end());
        values[name].push_back(0);
    }

    int sysctlByName(const char* name, void* buffer, std::size_t* size) override
    {
        const auto it = values.find(name);
        if (it == values.end()) {
            errno = ENOENT;
            return -1;
        }
        if (!buffer) {
            *size = it->second.size();
            return 0;
        }
        if (*size < it->second.size()) {
            errno = ENOMEM;
            return -1;
        }
        std::memcpy(buffer, it->second.data(), it->second.size());
        *size = it->second.size();
        return 0;
    }
};
