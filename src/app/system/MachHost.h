#pragma once

#include "platform/HostStatistics.h"

#include <cstdint>
#include <memory>

// The machine-wide statistics shared by the samplers, obtained once.
namespace MachHost {

std::shared_ptr<HostStatistics> port();

} // namespace MachHost

// Conversion of process-time units to nanoseconds.
namespace MachTime {

struct Timebase {
    std::uint64_t numer = 1;
    std::uint64_t denom = 1;
    friend bool operator==(const Timebase&, const Timebase&) = default;
};

// The units of the process table's CPU times; (1, 1) when they cannot be told.
Timebase timebase();

// units × numer ÷ denom without overflowing for large unit counts.
std::uint64_t nanoseconds(std::uint64_t units, Timebase timebase);

} // namespace MachTime
