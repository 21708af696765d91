#pragma once

#include <cstddef>
#include <functional>
#include <optional>

// Combines field hashes in declaration order so that memberwise-equal records hash equally.
namespace Hashing {

template <class T>
void combine(std::size_t& seed, const T& value)
{
    seed ^= std::hash<T>{}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// An absent value contributes only a marker; a present one a marker and the value.
template <class T>
void combine(std::size_t& seed, const std::optional<T>& value)
{
    combine(seed, value.has_value());
    if (value) combine(seed, *value);
}

template <class... Fields>
std::size_t of(const Fields&... fields)
{
    std::size_t seed = 0;
    (combine(seed, fields), ...);
    return seed;
}

} // namespace Hashing
