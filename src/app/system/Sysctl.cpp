#include "app/system/Sysctl.h"

#include "platform/LinuxSysctl.h"

#include <cstring>
#include <vector>

namespace Sysctl {

std::shared_ptr<SysctlSource> defaultSource()
{
    static const std::shared_ptr<SysctlSource> source = std::make_shared<LinuxSysctl>();
    return source;
}

std::optional<std::int32_t> int32(const std::string& name, SysctlSource& source)
{
    // The size reported back is not checked against 4.
    std::int32_t value = 0;
    std::size_t size = sizeof value;
    if (source.sysctlByName(name.c_str(), &value, &size) != 0) return std::nullopt;
    return value;
}

std::optional<std::string> string(const std::string& name, SysctlSource& source)
{
    std::size_t size = 0;
    if (source.sysctlByName(name.c_str(), nullptr, &size) != 0 || size == 0) return std::nullopt;
    std::vector<char> buffer(size, 0);
    if (source.sysctlByName(name.c_str(), buffer.data(), &size) != 0) return std::nullopt;
    return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}

} // namespace Sysctl
