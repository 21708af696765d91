#pragma once

#include "index/FileRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a duplicate search covers. The defaults read the home folder each time they are built and
// leave out the app data folders and the Trash folders.
struct DuplicateScanOptions {
    DuplicateScanOptions();

    // Where apps keep their data, settings and caches, which often hold copies on purpose:
    // ~/Library, and the data, config and cache folders the environment names.
    static std::vector<std::string> appDataFolders(const std::string& home);

    std::int64_t minimumSize = 1'000'000;
    std::optional<std::string> scope;  // absent: the whole index
    std::vector<std::string> excluded;
    int maxSizeGroups = 5000;
    int partialHashBytes = 65'536;     // read from the start and from the end of a file

    friend bool operator==(const DuplicateScanOptions&, const DuplicateScanOptions&) = default;
};

// One progress report of a running duplicate search.
struct DuplicateScanProgress {
    std::string stage;
    int candidatesChecked = 0;
    int candidatesTotal = 0;
    std::int64_t bytesHashed = 0;
    int groupsFound = 0;

    friend bool operator==(const DuplicateScanProgress&, const DuplicateScanProgress&) = default;
};

// Files with identical content: two or more, oldest modification first.
struct DuplicateGroup {
    // The full SHA-256 in hex, or "p" and the partial hash when that covers the whole content.
    std::string hash;
    std::int64_t size = 0;
    std::vector<FileItem> files;

    const std::string& id() const { return hash; }
    std::int64_t reclaimableBytes() const
    {
        return files.empty() ? 0 : size * static_cast<std::int64_t>(files.size() - 1);
    }

    friend bool operator==(const DuplicateGroup&, const DuplicateGroup&) = default;
};

template <>
struct std::hash<DuplicateGroup> {
    std::size_t operator()(const DuplicateGroup& g) const noexcept
    {
        std::size_t seed = Hashing::of(g.hash, g.size, g.files.size());
        for (const auto& file : g.files) Hashing::combine(seed, file);
        return seed;
    }
};
