#include "platform/DescriptorLimit.h"

#include <algorithm>
#include <sys/resource.h>

std::uint64_t DescriptorLimit::raiseToHardLimit() noexcept
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : static_cast<std::uint64_t>(limit.rlim_cur);
}

std::uint64_t DescriptorLimit::current() noexcept
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : static_cast<std::uint64_t>(limit.rlim_cur);
}

std::size_t DescriptorLimit::folderBudget(std::size_t share, std::size_t minimum, std::size_t maximum) noexcept
{
    const std::uint64_t limit = current();
    const std::uint64_t part = limit / std::max<std::size_t>(share, 1);
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(part, minimum, maximum));
}
