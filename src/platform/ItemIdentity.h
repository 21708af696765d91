#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What an item at a path must be to count as the one meant: its kind and, where known, its
// inode and device. Whatever is absent matches anything.
struct ItemIdentity {
    enum class Kind { any, file, symbolicLink, folder };
    Kind kind = Kind::any;
    std::optional<std::uint64_t> inode = std::nullopt;
    std::optional<std::uint64_t> device = std::nullopt;
    friend bool operator==(const ItemIdentity&, const ItemIdentity&) = default;

    // The identity of the item at `path` itself (a link as the link); absent when nothing is there.
    static std::optional<ItemIdentity> at(const std::string& path);
};
