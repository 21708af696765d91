#pragma once

#include "index/FileRecords.h"
#include "index/ScanRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class SQLiteConnection;

// The read queries of the index. They read through whatever batch is open; the database's
// public members commit it first.
namespace IndexQueries {

std::vector<FileItem> largestFiles(SQLiteConnection& db, std::int64_t limit, std::optional<StorageCategory> category,
                                   const std::optional<std::string>& within, std::int64_t minimumSize);
std::vector<FileItem> recentLargeFiles(SQLiteConnection& db, double since, std::int64_t minimumSize,
                                       std::int64_t limit);
std::vector<FolderItem> rootFolders(SQLiteConnection& db);
std::vector<FolderItem> childFolders(SQLiteConnection& db, std::int64_t folderID, std::int64_t limit);
std::optional<FolderItem> folder(SQLiteConnection& db, const std::string& path);
std::vector<FolderItem> largestFolders(SQLiteConnection& db, std::int64_t limit, std::int64_t maxDepth);
std::vector<FolderItem> folders(SQLiteConnection& db, const std::string& name, bool outermostOnly,
                                std::int64_t limit);
std::vector<FolderItem> restrictedFolders(SQLiteConnection& db, std::int64_t limit);
std::vector<CategoryUsage> categoryTotals(SQLiteConnection& db);
ScanTotals totals(SQLiteConnection& db);
std::optional<ScanRecord> lastScan(SQLiteConnection& db);
std::vector<StorageHistoryPoint> history(SQLiteConnection& db, std::int64_t limit);

} // namespace IndexQueries
