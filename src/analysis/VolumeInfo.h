#pragma once

#include "index/Hashing.h"

#include <cstdint>
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

    friend bool operator==(const VolumeInfo&, const VolumeInfo&) = default;
};

template <>
struct std::hash<VolumeInfo> {
    std::size_t operator()(const VolumeInfo& v) const noexcept
    {
        return Hashing::of(v.name, v.path, v.totalCapacity, v.availableForImportantUsage, v.availableStrict,
                           v.isInternal, v.isRemovable, v.isEjectable, v.isRootFileSystem, v.isReadOnly, v.isLocal,
                           v.formatDescription);
    }
};
