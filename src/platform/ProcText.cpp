#include "platform/ProcText.h"

#include "platform/RegularFile.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace ProcText {

std::optional<std::string> readFile(const std::string& path)
{
    return RegularFile::read(path, maxFileBytes);
}

std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        result.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return result;
}

std::vector<std::string_view> fields(std::string_view text)
{
    std::vector<std::string_view> result;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
        const size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\n') ++i;
        if (i > start) result.push_back(text.substr(start, i - start));
    }
    return result;
}

std::optional<std::uint64_t> unsignedNumber(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<double> decimalNumber(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::map<std::string, std::uint64_t, std::less<>> keyedNumbers(std::string_view text)
{
    std::map<std::string, std::uint64_t, std::less<>> result;
    for (const std::string_view line : lines(text)) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const auto values = fields(line.substr(colon + 1));
        if (values.empty()) continue;
        if (const auto number = unsignedNumber(values.front()))
            result.emplace(std::string(line.substr(0, colon)), *number);
    }
    return result;
}

} // namespace ProcText
