#pragma once

#include "platform/SysctlSource.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Reads of named kernel values; every failed read is an absent value.
namespace Sysctl {

// The machine's own values, created once.
std::shared_ptr<SysctlSource> defaultSource();

std::optional<std::int32_t> int32(const std::string& name, SysctlSource& source = *defaultSource());
std::optional<std::string> string(const std::string& name, SysctlSource& source = *defaultSource());

// A fixed-size record, starting from `initial`.
template <class T>
std::optional<T> value(const std::string& name, T initial, SysctlSource& source = *defaultSource())
{
    std::size_t size = sizeof(T);
    if (source.sysctlByName(name.c_str(), &initial, &size) != 0) return std::nullopt;
    return initial;
}

} // namespace Sysctl
