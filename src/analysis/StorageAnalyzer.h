#pragma once

#include "analysis/StorageSummary.h"

#include <optional>

class StorageDatabase;

// Builds the dashboard summary from the index and the startup volume. Never fails: a
// read that fails leaves its field empty. Call off the main thread.
namespace StorageAnalyzer {

inline constexpr std::int64_t recentLargeFileMinimum = 100'000'000;
inline constexpr double recentLargeFileWindow = 2'592'000;   // 30 days in seconds
inline constexpr int recentLargeFileLimit = 8;
inline constexpr int historyLimit = 365;
inline constexpr int largestFolderMaxDepth = 6;
// A largest folder must lie at least this many components deep, so that a home folder
// (/home/alice) does not stand in for what actually fills it.
inline constexpr int largestFolderMinimumComponents = 3;

StorageSummary loadSummary(StorageDatabase& database);

// With the volume facts and the current time given.
StorageSummary loadSummary(StorageDatabase& database, std::optional<VolumeInfo> volume, double now);

} // namespace StorageAnalyzer
