#include "app/system/MonitorRecords.h"

#include "index/RawValueTable.h"

#include <algorithm>

namespace {

constexpr RawValueTable<MemoryPressure, 4> pressureTexts{{{
    {MemoryPressure::normal, "Normal"},
    {MemoryPressure::warning, "Moderate"},
    {MemoryPressure::critical, "Critical"},
    {MemoryPressure::unknown, "Unknown"},
}}};

} // namespace

std::string_view rawValue(MemoryPressure pressure)
{
    return pressureTexts.text(pressure);
}

std::optional<MemoryPressure> memoryPressureFromRawValue(std::string_view text)
{
    return pressureTexts.value(text);
}

MemoryPressure memoryPressureFromLevel(std::optional<std::int32_t> level)
{
    if (!level) return MemoryPressure::unknown;
    switch (*level) {
    case 1: return MemoryPressure::normal;
    case 2: return MemoryPressure::warning;
    case 4: return MemoryPressure::critical;
    default: return MemoryPressure::unknown;
    }
}

double MemorySnapshot::pressureFraction() const
{
    if (systemFreePercent) return std::clamp(1.0 - *systemFreePercent / 100.0, 0.0, 1.0);
    if (total == 0) return 0;
    return static_cast<double>(app + wired + compressed) / static_cast<double>(total);
}
