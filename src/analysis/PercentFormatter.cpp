#include "analysis/PercentFormatter.h"

#include <array>
#include <charconv>
#include <cmath>

namespace PercentFormatter {

std::string string(double fraction, int decimals)
{
    if (!std::isfinite(fraction))
        return "\u2014";
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), fraction * 100,
                                      std::chars_format::fixed, decimals < 0 ? 0 : decimals);
    if (result.ec != std::errc())
        return "\u2014";
    return std::string(buffer.data(), result.ptr) + "%";
}

} // namespace PercentFormatter
