#pragma once

#include "index/Hashing.h"
#include "index/StorageCategory.h"
#include "platform/XdgUserDirs.h"

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

    // The fixed rows for the given home folder, always in the same order: the macOS
    // places, then the Linux ones (the user folders that user-dirs.dirs names, the caches,
    // the Trash, the data folder, the system's software, logs and caches, and the
    // container and package stores). A place already listed is not listed again.
    static std::vector<KnownLocation> standard(const std::string& home);
    static std::vector<KnownLocation> standard(const std::string& home,
                                               const std::vector<XdgUserDirs::Folder>& userFolders);

    friend bool operator==(const KnownLocation&, const KnownLocation&) = default;
};

template <>
struct std::hash<KnownLocation> {
    std::size_t operator()(const KnownLocation& l) const noexcept
    {
        return Hashing::of(l.name, l.path, l.symbolName, l.category);
    }
};
