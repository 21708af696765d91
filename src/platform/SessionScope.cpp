#include "platform/SessionScope.h"

#include <vector>

namespace {

// Unit names escape '-' and other bytes as \xNN.
std::string unescaped(std::string_view text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const auto hex = [](char c) -> int {
                if (c >= '0' && c <= '9') return c - '0';
                if (c >= 'a' && c <= 'f') return c - 'a' + 10;
                if (c >= 'A' && c <= 'F') return c - 'A' + 10;
                return -1;
            };
            const int high = hex(text[i + 2]);
            const int low = hex(text[i + 3]);
            if (high >= 0 && low >= 0) {
                result += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool isNumber(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<std::string> nonEmpty(std::string text)
{
    if (text.empty()) return std::nullopt;
    return text;
}

} // namespace

namespace SessionScope {

std::optional<std::string> applicationID(std::string_view controlGroup)
{
    std::string_view unit = controlGroup.substr(controlGroup.rfind('/') + 1);

    if (unit.starts_with("snap.") && unit.ends_with(".scope")) {
        const auto name = unit.substr(5, unit.find('.', 5) - 5);
        return nonEmpty(unescaped(name));
    }

    const bool scope = unit.ends_with(".scope");
    if (!scope && !unit.ends_with(".service")) return std::nullopt;
    unit.remove_suffix(scope ? 6 : 8);

    if (unit.starts_with("flatpak-")) {
        unit.remove_prefix(8);
        const auto dash = unit.rfind('-');
        if (dash == std::string_view::npos || !isNumber(unit.substr(dash + 1))) return std::nullopt;
        return nonEmpty(unescaped(unit.substr(0, dash)));
    }
    if (!unit.starts_with("app-")) return std::nullopt;
    unit.remove_prefix(4);

    // A service carries its random part after '@', a scope as the last dash-separated part.
    std::vector<std::string_view> parts;
    if (const auto at = unit.find('@'); at != std::string_view::npos) {
        parts = split(unit.substr(0, at), '-');
    } else {
        parts = split(unit, '-');
        if (scope) {
            if (parts.size() < 2) return std::nullopt;
            parts.pop_back();
        }
    }
    // The id itself has its dashes escaped, so with two parts the first is the launcher.
    if (parts.size() == 2) return nonEmpty(unescaped(parts[1]));
    if (parts.size() == 1) return nonEmpty(unescaped(parts[0]));
    return std::nullopt;
}

} // namespace SessionScope
