#include "analysis/CleanupRecommendation.h"

namespace {

struct SafetyText {
    CleanupSafety safety;
    std::string_view text;
};

constexpr std::array<SafetyText, 3> safetyTexts{{
    {CleanupSafety::safe, "Safe to Remove"},
    {CleanupSafety::review, "Review Before Removing"},
    {CleanupSafety::doNotRemove, "Do Not Remove"},
}};

} // namespace

std::string_view rawValue(CleanupSafety safety)
{
    for (const auto& entry : safetyTexts)
        if (entry.safety == safety) return entry.text;
    return {};
}

std::optional<CleanupSafety> cleanupSafetyFromRawValue(std::string_view text)
{
    for (const auto& entry : safetyTexts)
        if (entry.text == text) return entry.safety;
    return std::nullopt;
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
