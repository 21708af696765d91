#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

// The fixed texts of an enumeration's cases, looked up both ways; the text match is exact.
template <class Enum, std::size_t N>
struct RawValueTable {
    std::array<std::pair<Enum, std::string_view>, N> entries;

    constexpr std::string_view text(Enum value) const
    {
        for (const auto& [candidate, text] : entries)
            if (candidate == value) return text;
        return {};
    }

    constexpr std::optional<Enum> value(std::string_view text) const
    {
        for (const auto& [value, candidate] : entries)
            if (candidate == text) return value;
        return std::nullopt;
    }
};
