#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Decimal (1000-based) size units, in ascending order.
enum class ByteUnit { bytes, KB, MB, GB, TB };

std::string_view label(ByteUnit unit);
std::int64_t divisor(ByteUnit unit);

// Size text shown everywhere a byte count is; independent of the process locale.
namespace ByteFormatter {

// "1 byte", "999 bytes", "1.50 KB", "123.5 MB"; without a unit it is chosen by magnitude.
std::string string(std::int64_t bytes, std::optional<ByteUnit> unit = std::nullopt);

// Reads "500MB", "1,5 gb", "10" back; absent for anything that is not a size.
std::optional<std::int64_t> parse(std::string_view text);

} // namespace ByteFormatter
