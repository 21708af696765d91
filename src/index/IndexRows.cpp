#include "index/IndexRows.h"

#include <algorithm>

namespace IndexRows {

std::vector<SQLValue> subtreeValues(std::string_view path)
{
    if (path == "/") return {"/", "/", "0"};
    std::string base(path);
    return {base, base + "/", base + "0"};
}

std::optional<double> optionalDate(const SQLiteConnection::Statement& row, int column)
{
    if (row.isNull(column)) return std::nullopt;
    const double seconds = row.real(column);
    if (!(seconds > 0.0)) return std::nullopt;
    return seconds;
}

StorageCategory category(std::int64_t raw) { return storageCategoryFromRawValue(raw).value_or(StorageCategory::other); }

ScanRecord::Status status(std::string_view raw) { return scanStatusFromRawValue(raw).value_or(ScanRecord::Status::failed); }

FileItem mapFile(const SQLiteConnection::Statement& row)
{
    FileItem item;
    item.id = row.integer(0);
    item.name = row.text(1);
    item.folderPath = row.text(2);
    item.fileExtension = row.text(3);
    item.size = row.integer(4);
    item.allocatedSize = row.integer(5);
    item.created = optionalDate(row, 6);
    item.modified = optionalDate(row, 7);
    item.accessed = optionalDate(row, 8);
    item.flags = FileItem::Flags{.rawValue = row.integer(9)};
    item.category = category(row.integer(10));
    return item;
}

FolderItem mapFolder(const SQLiteConnection::Statement& row)
{
    FolderItem item;
    item.id = row.integer(0);
    if (!row.isNull(1)) item.parentID = row.integer(1);
    item.path = row.text(2);
    item.name = row.text(3);
    item.totalAllocated = row.integer(4);
    item.totalSize = row.integer(5);
    item.fileCount = row.integer(6);
    item.folderCount = row.integer(7);
    item.directAllocated = row.integer(8);
    item.directFileCount = row.integer(9);
    item.modified = optionalDate(row, 10);
    item.isRestricted = row.integer(11) != 0;
    item.lastScanned = optionalDate(row, 12);
    return item;
}

ScanRecord mapScan(const SQLiteConnection::Statement& row)
{
    ScanRecord scan;
    scan.id = row.integer(0);
    scan.started = row.real(1);
    scan.finished = optionalDate(row, 2);
    scan.status = status(row.text(3));
    const std::string roots = row.text(4);
    size_t start = 0;
    while (start <= roots.size()) {
        const size_t end = std::min(roots.find('\n', start), roots.size());
        if (end > start) scan.roots.push_back(roots.substr(start, end - start));
        start = end + 1;
    }
    scan.fileCount = row.integer(5);
    scan.folderCount = row.integer(6);
    scan.bytes = row.integer(7);
    scan.newFiles = row.integer(8);
    scan.changedFiles = row.integer(9);
    scan.deletedFiles = row.integer(10);
    return scan;
}

} // namespace IndexRows
