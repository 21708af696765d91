#pragma once

#include "analysis/VolumeInfo.h"
#include "index/FileRecords.h"
#include "index/ScanRecords.h"

#include <cstdint>
#include <optional>
#include <vector>

// Everything the dashboard shows at a glance. The empty value is what screens show
// before the first load.
struct StorageSummary {
    std::optional<VolumeInfo> volume;              // the volume holding "/"
    ScanTotals totals;
    std::vector<CategoryUsage> categories;         // only categories with bytes, most bytes first
    std::optional<FileItem> largestFile;
    std::optional<FolderItem> largestFolder;
    std::vector<FileItem> recentLargeFiles;
    std::vector<StorageHistoryPoint> history;
    std::optional<ScanRecord> lastScan;
    std::optional<int> applicationCount;           // filled in by the application model

    // Space in use on the volume that the index does not account for; never negative.
    // Absent without a volume or before anything was indexed.
    std::optional<std::int64_t> unattributedBytes() const;

    friend bool operator==(const StorageSummary&, const StorageSummary&) = default;
};
