#pragma once

#include "index/Hashing.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One measured developer location.
struct DeveloperStorageItem {
    std::string group;  // "Xcode", "Node.js", "Android", "Docker", "Git" or "Other"
    std::string name;
    std::string path;   // empty for the summary row of surplus Git repositories
    std::int64_t bytes = 0;
    bool isPartial = false;
    std::optional<std::string> detail;

    std::string id() const { return group + "|" + name + "|" + path; }

    friend bool operator==(const DeveloperStorageItem&, const DeveloperStorageItem&) = default;
};

// One of the six fixed groups of the developer storage screen.
struct DeveloperStorageGroup {
    std::string name;
    std::string symbolName;
    std::vector<DeveloperStorageItem> items;
    bool detected = false;  // items is not empty
    std::optional<std::string> note;

    const std::string& id() const { return name; }

    friend bool operator==(const DeveloperStorageGroup&, const DeveloperStorageGroup&) = default;
};

template <>
struct std::hash<DeveloperStorageItem> {
    std::size_t operator()(const DeveloperStorageItem& i) const noexcept
    {
        return Hashing::of(i.group, i.name, i.path, i.bytes, i.isPartial, i.detail);
    }
};

template <>
struct std::hash<DeveloperStorageGroup> {
    std::size_t operator()(const DeveloperStorageGroup& g) const noexcept
    {
        std::size_t seed = Hashing::of(g.name, g.symbolName, g.items.size());
        for (const auto& item : g.items) Hashing::combine(seed, item);
        Hashing::combine(seed, g.detected);
        Hashing::combine(seed, g.note);
        return seed;
    }
};
