#pragma once

#include <string>

namespace PercentFormatter {

// 0.425 with 1 decimal -> "42.5%"; not-finite values -> "—". Independent of the process locale.
std::string string(double fraction, int decimals = 0);

} // namespace PercentFormatter
