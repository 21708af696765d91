#pragma once

#include "index/Hashing.h"

#include <cstdint>
#include <algorithm>
#include <optional>
#include <string>

// One mounted volume and how full it is.
struct VolumeInfo {
    std::string name;
    std::string path;
    std::int64_t totalCapacity = 0;
    std::int64_t availableForImportantUsage = 0;
    std::int64_t availableStrict = 0;
    bool isInternal = false;
    bool isRemovable = false;
    bool isEjectable = false;
    bool isRootFileSystem = false;
    bool isReadOnly = false;
    bool isLocal = true;
    std::optional<std::string> formatDescription;
    // Bytes in use, as df counts them: blocks minus free blocks. The blocks kept for the
    // administrator are neither used nor available, so used plus available can fall short
    // of the capacity.
    std::int64_t usedCapacity = 0;

    // The larger of the two available figures.
    std::int64_t available() const { return std::max(availableForImportantUsage, availableStrict); }
    // The share of the space this user can reach that is in use, as df's Use% reckons it.
    double usedShare() const
    {
        const std::int64_t used = std::max<std::int64_t>(usedCapacity, 0);
        const std::int64_t reachable = used + std::max<std::int64_t>(available(), 0);
        return reachable > 0 ? static_cast<double>(used) / static_cast<double>(reachable) : 0;
    }

    friend bool operator==(const VolumeInfo&, const VolumeInfo&) = default;
};

template <>
struct std::hash<VolumeInfo> {
    std::size_t operator()(const VolumeInfo& v) const noexcept
    {
        return Hashing::of(v.name, v.path, v.totalCapacity, v.availableForImportantUsage, v.availableStrict,
                           v.isInternal, v.isRemovable, v.isEjectable, v.isRootFileSystem, v.isReadOnly, v.isLocal,
                           v.formatDescription, v.usedCapacity);
    }
};
