#include "scanning/ScanExclusions.h"

#include "index/CaseFolding.h"
#include "platform/Paths.h"
#include "scanning/SecurityUtils.h"

ScanExclusions::ScanExclusions(const std::vector<std::string>& excludedPaths)
{
    entries_.reserve(excludedPaths.size());
    for (const auto& path : excludedPaths)
        entries_.push_back(CaseFolding::lowercased(SecurityUtils::normalized(path, false)));
}

bool ScanExclusions::excludes(std::string_view path) const
{
    if (entries_.empty())
        return false;
    const std::string lowered = CaseFolding::lowercased(path);
    for (const auto& entry : entries_)
        if (Paths::isWithin(lowered, entry))
            return true;
    return false;
}
