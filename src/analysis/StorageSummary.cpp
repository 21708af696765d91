#include "analysis/StorageSummary.h"

#include <algorithm>

std::optional<std::int64_t> StorageSummary::unattributedBytes() const
{
    if (!volume || totals.allocatedBytes <= 0)
        return std::nullopt;
    const std::int64_t used = volume->usedCapacity;
    std::int64_t categorized = 0;
    for (const CategoryUsage& usage : categories)
        categorized += usage.bytes;
    const std::int64_t indexed = std::min(totals.allocatedBytes, categorized);
    return std::max<std::int64_t>(std::max<std::int64_t>(used, 0) - indexed, 0);
}
