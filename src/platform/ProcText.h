#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Readers for the small text files of /proc and /sys.
namespace ProcText {

// More than any file of /proc or /sys, or any package database, holds.
inline constexpr std::size_t maxFileBytes = 64 * 1024 * 1024;

// The whole file, or nothing when it cannot be opened or read, is no regular file, or is
// longer than maxFileBytes.
std::optional<std::string> readFile(const std::string& path);

// "Key:   value [kB]" lines (meminfo, status) as key -> first number of the value.
// Lines whose value does not start with a number are left out.
std::map<std::string, std::uint64_t, std::less<>> keyedNumbers(std::string_view text);

// The lines of a text, without their line ends.
std::vector<std::string_view> lines(std::string_view text);

// Splits on blanks, tabs and line ends, dropping empty fields.
std::vector<std::string_view> fields(std::string_view text);

// A whole decimal number without sign; nothing for anything else.
std::optional<std::uint64_t> unsignedNumber(std::string_view text);
std::optional<double> decimalNumber(std::string_view text);

} // namespace ProcText
