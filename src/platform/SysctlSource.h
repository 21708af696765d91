#pragma once

#include <cstddef>
#include <cstdint>

// The swap-usage record behind "vm.swapusage".
struct SwapUsage {
    std::uint64_t total = 0;
    std::uint64_t available = 0;
    std::uint64_t used = 0;
    std::uint32_t pageSize = 0;
    bool encrypted = false;
};
static_assert(sizeof(SwapUsage) == 32);

// Named kernel values with the calling shape of sysctlbyname: with `buffer` null
// only the size is reported; 0 on success, -1 with errno set on failure
// (ENOENT for a name that is not known here, ENOMEM for a buffer too small).
class SysctlSource {
public:
    virtual ~SysctlSource() = default;
    virtual int sysctlByName(const char* name, void* buffer, std::size_t* size) = 0;
};
