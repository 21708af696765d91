#pragma once

#include "index/Hashing.h"

#include <cstdint>
#include <optional>
#include <string>

// One item offered for removal; identified by its path.
struct TrashCandidate {
    std::string path;
    std::string name;
    std::optional<std::int64_t> size;   // absent when the screen has none to show
    bool isDirectory = false;
    std::optional<std::string> note;    // an extra line for the confirmation

    const std::string& id() const { return path; }
    friend bool operator==(const TrashCandidate&, const TrashCandidate&) = default;
};

template <>
struct std::hash<TrashCandidate> {
    std::size_t operator()(const TrashCandidate& c) const noexcept
    {
        return Hashing::of(c.path, c.name, c.size, c.isDirectory, c.note);
    }
};
