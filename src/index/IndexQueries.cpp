#include "index/IndexQueries.h"

#include "index/IndexRows.h"
#include "index/SQLiteConnection.h"

#include <algorithm>

namespace IndexQueries {
namespace {

using Statement = SQLiteConnection::Statement;

const std::string fileSelect = std::string("SELECT ").append(IndexRows::fileColumns);
const std::string folderSelect = std::string("SELECT ").append(IndexRows::folderColumns);

std::vector<FileItem> fileList(SQLiteConnection& db, const std::string& sql, const std::vector<SQLValue>& values)
{
    std::vector<FileItem> files;
    db.query(sql, values, [&](Statement& row) { files.push_back(IndexRows::mapFile(row)); });
    return files;
}

std::vector<FolderItem> folderList(SQLiteConnection& db, const std::string& sql, const std::vector<SQLValue>& values)
{
    std::vector<FolderItem> folders;
    db.query(sql, values, [&](Statement& row) { folders.push_back(IndexRows::mapFolder(row)); });
    return folders;
}

} // namespace

std::vector<FileItem> largestFiles(SQLiteConnection& db, std::int64_t limit, std::optional<StorageCategory> category,
                                   const std::optional<std::string>& within, std::int64_t minimumSize)
{
    std::string sql = fileSelect + " FROM files f JOIN folders d ON d.id = f.folder_id WHERE f.alloc >= ?";
    std::vector<SQLValue> values = {minimumSize};
    if (category) {
        sql += " AND f.category = ?";
        values.emplace_back(rawValue(*category));
    }
    if (within) {
        sql.append(" AND ").append(IndexRows::subtreeFilter);
        for (auto& value : IndexRows::subtreeValues(*within)) values.push_back(std::move(value));
    }
    // Ties in id order, as the indexes hold them: a list keeps its order whether its index is
    // there yet or not (they are built behind a first scan).
    sql += " ORDER BY f.alloc DESC, f.id LIMIT ?";
    values.emplace_back(limit);
    return fileList(db, sql, values);
}

std::vector<FileItem> recentLargeFiles(SQLiteConnection& db, double since, std::int64_t minimumSize,
                                       std::int64_t limit)
{
    static const std::string sql = fileSelect + " FROM files f JOIN folders d ON d.id = f.folder_id\n"
                                                "WHERE f.alloc >= ? AND f.modified >= ? ORDER BY f.alloc DESC, f.id LIMIT ?";
    return fileList(db, sql, {minimumSize, since, limit});
}

std::vector<FolderItem> rootFolders(SQLiteConnection& db)
{
    static const std::string sql = folderSelect + " FROM folders WHERE parent_id IS NULL ORDER BY total_alloc DESC, id";
    return folderList(db, sql, {});
}

std::vector<FolderItem> childFolders(SQLiteConnection& db, std::int64_t folderID, std::int64_t limit)
{
    static const std::string sql =
        folderSelect + " FROM folders WHERE parent_id = ? ORDER BY total_alloc DESC, id LIMIT ?";
    return folderList(db, sql, {folderID, limit});
}

std::optional<FolderItem> folder(SQLiteConnection& db, const std::string& path)
{
    static const std::string sql = folderSelect + " FROM folders WHERE path = ?";
    auto found = folderList(db, sql, {path});
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
}

std::vector<FolderItem> largestFolders(SQLiteConnection& db, std::int64_t limit, std::int64_t maxDepth)
{
    static const std::string sql =
        folderSelect + " FROM folders WHERE depth BETWEEN 1 AND ? ORDER BY total_alloc DESC, id LIMIT ?";
    return folderList(db, sql, {maxDepth, limit});
}

std::vector<FolderItem> folders(SQLiteConnection& db, const std::string& name, bool outermostOnly,
                                std::int64_t limit)
{
    std::string sql = folderSelect + " FROM folders WHERE name = ?";
    std::vector<SQLValue> values = {name};
    if (outermostOnly) {
        // The parent path with a trailing "/" must hold no component equal to the name.
        sql += " AND instr(substr(path, 1, length(path) - length(?) - 1) || '/', ?) = 0";
        values.emplace_back(name);
        values.emplace_back("/" + name + "/");
    }
    sql += " ORDER BY total_alloc DESC, id LIMIT ?";
    values.emplace_back(limit);
    return folderList(db, sql, values);
}

std::vector<FolderItem> restrictedFolders(SQLiteConnection& db, std::int64_t limit)
{
    static const std::string sql =
        folderSelect + " FROM folders WHERE restricted = 1 ORDER BY depth ASC, path ASC LIMIT ?";
    return folderList(db, sql, {limit});
}

std::vector<CategoryUsage> categoryTotals(SQLiteConnection& db)
{
    std::vector<CategoryUsage> usages;
    db.query("SELECT category, bytes, files FROM category_totals ORDER BY bytes DESC", {}, [&](Statement& row) {
        usages.push_back({.category = IndexRows::category(row.integer(0)),
                           .bytes = row.integer(1),
                           .fileCount = static_cast<int>(row.integer(2))});
    });
    return usages;
}

ScanTotals totals(SQLiteConnection& db)
{
    ScanTotals result;
    bool read = false;
    db.query("SELECT IFNULL(SUM(total_files),0), IFNULL(SUM(total_dirs),0), IFNULL(SUM(total_alloc),0), COUNT(*) "
             "FROM folders WHERE parent_id IS NULL",
             {}, [&](Statement& row) {
                 if (read) return;
                 read = true;
                 result.fileCount = row.integer(0);
                 // The roots themselves count as folders.
                 result.folderCount = row.integer(1) + row.integer(3);
                 result.allocatedBytes = row.integer(2);
             });
    result.restrictedFolders = db.scalarInt("SELECT COUNT(*) FROM folders WHERE restricted = 1");
    return result;
}

std::optional<ScanRecord> lastScan(SQLiteConnection& db)
{
    static const std::string sql =
        std::string("SELECT ").append(IndexRows::scanColumns).append(" FROM scans ORDER BY id DESC LIMIT 1");
    std::optional<ScanRecord> scan;
    db.query(sql, {}, [&](Statement& row) {
        if (!scan) scan = IndexRows::mapScan(row);
    });
    return scan;
}

std::vector<StorageHistoryPoint> history(SQLiteConnection& db, std::int64_t limit)
{
    std::vector<StorageHistoryPoint> points;
    db.query("SELECT id, timestamp, volume_total, volume_used, scanned_bytes FROM history ORDER BY timestamp DESC "
             "LIMIT ?",
             {limit}, [&](Statement& row) {
                 points.push_back({.id = row.integer(0),
                                   .date = row.real(1),
                                   .volumeTotal = row.integer(2),
                                   .volumeUsed = row.integer(3),
                                   .scannedBytes = row.integer(4)});
             });
    std::reverse(points.begin(), points.end());
    return points;
}

} // namespace IndexQueries
