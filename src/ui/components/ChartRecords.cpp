#include "ui/components/ChartRecords.h"

#include <array>
#include <charconv>
#include <cmath>

namespace {

// Shortest round-trip text of a double: plain digits below 2^53 (with ".0" for whole
// numbers), exponent form for very large or very small magnitudes.
std::string shortestText(double value)
{
    if (value == 0)
        return "0.0";   // -0 is the same instant as 0
    std::array<char, 64> buffer{};
    const double magnitude = std::fabs(value);
    const bool plain = std::isfinite(value) && magnitude < 9007199254740992.0 && magnitude >= 1e-4;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      plain ? std::chars_format::fixed : std::chars_format::general);
    std::string text(buffer.data(), result.ptr);
    if (plain && text.find('.') == std::string::npos)
        text += ".0";
    return text;
}

} // namespace

std::string ChartPoint::id() const
{
    return series + "-" + shortestText(date);
}
