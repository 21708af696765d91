#pragma once

#include "index/ProcessRecords.h"

#include <cstdint>
#include <vector>

// The pids of a list of processes, in its order.
inline std::vector<std::int32_t> pids(const std::vector<ProcessSnapshot>& processes)
{
    std::vector<std::int32_t> result;
    for (const auto& p : processes) result.push_back(p.pid);
    return result;
}
