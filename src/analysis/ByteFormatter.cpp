#include "analysis/ByteFormatter.h"

#include "platform/Paths.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

struct UnitRow {
    std::string_view label;
    std::int64_t divisor;
};

constexpr std::array<UnitRow, 5> unitTable{{
    {"bytes", 1},
    {"KB", 1'000},
    {"MB", 1'000'000},
    {"GB", 1'000'000'000},
    {"TB", 1'000'000'000'000},
}};

// printf("%.Nf") without the locale's decimal separator.
std::string fixed(double value, int decimals)
{
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

ByteUnit unitForMagnitude(std::int64_t bytes)
{
    // Unsigned so that the most negative value has a magnitude too.
    const std::uint64_t m = bytes < 0 ? std::uint64_t(0) - static_cast<std::uint64_t>(bytes)
                                      : static_cast<std::uint64_t>(bytes);
    if (m >= 1'000'000'000'000ULL) return ByteUnit::TB;
    if (m >= 1'000'000'000ULL) return ByteUnit::GB;
    if (m >= 1'000'000ULL) return ByteUnit::MB;
    if (m >= 1'000ULL) return ByteUnit::KB;
    return ByteUnit::bytes;
}

// Length of the space separator (Unicode Zs) or tab at `text[at]`, 0 when there is none.
std::size_t spaceLength(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned b0 = byte(at);
    if (b0 == ' ' || b0 == '\t') return 1;
    if (b0 == 0xC2 && byte(at + 1) == 0xA0) return 2;                       // U+00A0
    if (b0 == 0xE1 && byte(at + 1) == 0x9A && byte(at + 2) == 0x80) return 3; // U+1680
    if (b0 == 0xE2 && byte(at + 1) == 0x80) {
        const unsigned b2 = byte(at + 2);
        if ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xAF) return 3;            // U+2000..200A, U+202F
    }
    if (b0 == 0xE2 && byte(at + 1) == 0x81 && byte(at + 2) == 0x9F) return 3; // U+205F
    if (b0 == 0xE3 && byte(at + 1) == 0x80 && byte(at + 2) == 0x80) return 3; // U+3000
    return 0;
}

std::size_t trailingSpaceLength(std::string_view text)
{
    for (std::size_t length = 1; length <= 3 && length <= text.size(); ++length)
        if (spaceLength(text, text.size() - length) == length)
            return length;
    return 0;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t n = spaceLength(text, 0);
        if (n == 0) break;
        text.remove_prefix(n);
    }
    while (!text.empty()) {
        const std::size_t n = trailingSpaceLength(text);
        if (n == 0) break;
        text.remove_suffix(n);
    }
    return text;
}

std::optional<double> multiplier(std::string_view unit)
{
    struct Row { std::string_view word; double factor; };
    static constexpr Row rows[] = {
        {"", 1}, {"b", 1}, {"byte", 1}, {"bytes", 1},
        {"k", 1e3}, {"kb", 1e3}, {"kilobyte", 1e3}, {"kilobytes", 1e3},
        {"m", 1e6}, {"mb", 1e6}, {"megabyte", 1e6}, {"megabytes", 1e6},
        {"g", 1e9}, {"gb", 1e9}, {"gigabyte", 1e9}, {"gigabytes", 1e9},
        {"t", 1e12}, {"tb", 1e12}, {"terabyte", 1e12}, {"terabytes", 1e12},
    };
    for (const auto& row : rows)
        if (row.word == unit)
            return row.factor;
    return std::nullopt;
}

} // namespace

std::string_view label(ByteUnit unit)
{
    return unitTable[static_cast<std::size_t>(unit)].label;
}

std::int64_t divisor(ByteUnit unit)
{
    return unitTable[static_cast<std::size_t>(unit)].divisor;
}

namespace ByteFormatter {

std::string string(std::int64_t bytes, std::optional<ByteUnit> unit)
{
    const ByteUnit chosen = unit.value_or(unitForMagnitude(bytes));
    if (chosen == ByteUnit::bytes)
        return bytes == 1 ? "1 byte" : std::to_string(bytes) + " bytes";

    const double value = static_cast<double>(bytes) / static_cast<double>(divisor(chosen));
    const double magnitude = std::fabs(value);
    int decimals = 0;
    if (magnitude < 10)
        decimals = 2;
    else if (magnitude < 100 || chosen != ByteUnit::KB)
        decimals = 1;
    return fixed(value, decimals) + " " + std::string(label(chosen));
}

std::optional<std::int64_t> parse(std::string_view text)
{
    const std::string lowered = Paths::asciiLowercased(trimmed(text));
    if (lowered.empty())
        return std::nullopt;

    std::string number;
    std::string unit;
    for (const char c : lowered) {
        if (c == ' ')
            continue;
        if (!unit.empty()) {
            unit += c;
        } else if ((c >= '0' && c <= '9') || c == '.') {
            number += c;
        } else if (c == ',') {
            number += '.';
        } else {
            // Numerals of other scripts land here too; they never read as a number anyway.
            unit += c;
        }
    }
    if (number.empty())
        return std::nullopt;

    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size() || value < 0)
        return std::nullopt;

    const auto factor = multiplier(unit);
    if (!factor)
        return std::nullopt;
    const double product = value * *factor;
    if (!(product < 9223372036854775808.0))
        return std::nullopt;
    return static_cast<std::int64_t>(product);
}

} // namespace ByteFormatter
