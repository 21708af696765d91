#include "analysis/CleanupRecommendation.h"

#include "index/RawValueTable.h"

namespace {

constexpr RawValueTable<CleanupSafety, 3> safetyTexts{{{
    {CleanupSafety::safe, "Safe to Remove"},
    {CleanupSafety::review, "Review Before Removing"},
    {CleanupSafety::doNotRemove, "Do Not Remove"},
}}};

} // namespace

std::string_view rawValue(CleanupSafety safety)
{
    return safetyTexts.text(safety);
}

std::optional<CleanupSafety> cleanupSafetyFromRawValue(std::string_view text)
{
    return safetyTexts.value(text);
}

std::string CleanupRecommendation::id() const
{
    std::string result = title + "|";
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0) result += ",";
        result += paths[i];
    }
    return result;
}
