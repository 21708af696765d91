#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The kinds of stored data. The raw values are what the index stores with every
// file, folder and category total, so neither order nor numbers may change.
enum class StorageCategory : int {
    other = 0,
    applications,
    documents,
    downloads,
    desktop,
    photos,
    videos,
    music,
    developer,
    xcode,
    docker,
    nodeJS,
    npm,
    yarn,
    pnpm,
    git,
    caches,
    logs,
    iOSBackups,
    android,
    virtualMachines,
    archives,
    system,
    trash,
    mail,
    cloudStorage,
};

inline constexpr int storageCategoryCount = 26;

constexpr int rawValue(StorageCategory category) { return static_cast<int>(category); }

// No category for values outside 0...25.
std::optional<StorageCategory> storageCategoryFromRawValue(std::int64_t raw);

// All categories in raw-value order.
const std::array<StorageCategory, storageCategoryCount>& allStorageCategories();

std::string_view displayName(StorageCategory category);
std::string_view symbolName(StorageCategory category);
std::string_view detectionNote(StorageCategory category);
