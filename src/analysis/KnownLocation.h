#pragma once

#include "index/Hashing.h"
#include "index/StorageCategory.h"

#include <optional>
#include <string>
#include <vector>

// A well-known folder that the storage screen lists with an icon.
struct KnownLocation {
    std::string name;
    std::string path;
    std::string symbolName;
    std::optional<StorageCategory> category;

    const std::string& id() const { return path; }

    // The fixed rows for the given home folder, always in the same order.
    static std::vector<KnownLocation> standard(const std::string& home);

    friend bool operator==(const KnownLocation&, const KnownLocation&) = default;
};

template <>
struct std::hash<KnownLocation> {
    std::size_t operator()(const KnownLocation& l) const noexcept
    {
        return Hashing::of(l.name, l.path, l.symbolName, l.category);
    }
};
