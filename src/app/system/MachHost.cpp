#include "app/system/MachHost.h"

#include "platform/LinuxHostStatistics.h"

#include <unistd.h>

namespace MachHost {

std::shared_ptr<HostStatistics> port()
{
    static const std::shared_ptr<HostStatistics> host = std::make_shared<LinuxHostStatistics>();
    return host;
}

} // namespace MachHost

namespace MachTime {

Timebase timebase()
{
    // Process CPU times come in clock ticks.
    static const Timebase value = [] {
        const long ticks = ::sysconf(_SC_CLK_TCK);
        if (ticks <= 0) return Timebase{1, 1};
        return Timebase{1'000'000'000, static_cast<std::uint64_t>(ticks)};
    }();
    return value;
}

std::uint64_t nanoseconds(std::uint64_t units, Timebase timebase)
{
    if (timebase.numer == timebase.denom || timebase.denom == 0) return units;
    return units / timebase.denom * timebase.numer + units % timebase.denom * timebase.numer / timebase.denom;
}

} // namespace MachTime
