#include "analysis/StorageAnalyzer.h"

#include "analysis/VolumeService.h"
#include "index/StorageDatabase.h"

#include <algorithm>
#include <chrono>

namespace StorageAnalyzer {

namespace {

template <class Read, class Field>
void readInto(Field& field, Read&& read)
{
    try {
        field = read();
    } catch (...) {
        // Each field stays empty on its own failure.
    }
}

int componentCount(const std::string& path)
{
    int count = 0;
    bool inComponent = false;
    for (const char c : path) {
        if (c == '/') {
            inComponent = false;
        } else if (!inComponent) {
            inComponent = true;
            ++count;
        }
    }
    return count;
}

// The largest folder at depths 1 to 6 deep enough to say something; the rows come
// largest first, so the first that qualifies is the answer. The window grows until one
// qualifies or the index has no more rows.
std::optional<FolderItem> largestDeepFolder(StorageDatabase& database)
{
    for (std::int64_t limit = 64;; limit *= 8) {
        const auto folders = database.largestFolders(limit, largestFolderMaxDepth);
        const auto found = std::find_if(folders.begin(), folders.end(), [](const FolderItem& folder) {
            return componentCount(folder.path) >= largestFolderMinimumComponents;
        });
        if (found != folders.end())
            return *found;
        if (static_cast<std::int64_t>(folders.size()) < limit || limit >= 262'144)
            return std::nullopt;
    }
}

} // namespace

StorageSummary loadSummary(StorageDatabase& database)
{
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    return loadSummary(database, VolumeService::info("/"), now);
}

StorageSummary loadSummary(StorageDatabase& database, std::optional<VolumeInfo> volume, double now)
{
    StorageSummary summary;
    summary.volume = std::move(volume);
    readInto(summary.totals, [&] { return database.totals(); });
    readInto(summary.categories, [&] {
        auto categories = database.categoryTotals();
        std::erase_if(categories, [](const CategoryUsage& usage) { return usage.bytes <= 0; });
        return categories;
    });
    readInto(summary.largestFile, [&]() -> std::optional<FileItem> {
        auto files = database.largestFiles(1, std::nullopt, std::nullopt, 0);
        return files.empty() ? std::nullopt : std::optional(std::move(files.front()));
    });
    readInto(summary.largestFolder, [&] { return largestDeepFolder(database); });
    readInto(summary.recentLargeFiles, [&] {
        return database.recentLargeFiles(now - recentLargeFileWindow, recentLargeFileMinimum, recentLargeFileLimit);
    });
    readInto(summary.history, [&] { return database.history(historyLimit); });
    readInto(summary.lastScan, [&] { return database.lastScan(); });
    return summary;
}

} // namespace StorageAnalyzer
