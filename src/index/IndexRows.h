#pragma once

#include "index/FileRecords.h"
#include "index/SQLValue.h"
#include "index/SQLiteConnection.h"
#include "index/ScanRecords.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Column lists, row mappers and the subtree filter shared by every query of the index.
namespace IndexRows {

// Files joined with their folder row: "files f JOIN folders d ON d.id = f.folder_id".
inline constexpr std::string_view fileColumns =
    "f.id, f.name, d.path, f.ext, f.size, f.alloc, f.created, f.modified, f.accessed, f.flags, f.category";
inline constexpr std::string_view folderColumns =
    "id, parent_id, path, name, total_alloc, total_size, total_files, total_dirs, direct_alloc, direct_files, "
    "modified, restricted, scanned_at";
inline constexpr std::string_view scanColumns =
    "id, started, finished, status, roots, files, folders, bytes, new_files, changed_files, deleted_files";

// Matches the folder at `path` and every folder below it, bound with subtreeValues(path).
inline constexpr std::string_view subtreeFilter = "(d.path = ? OR (d.path >= ? AND d.path < ?))";

// The path, the lower and the upper bound: "/" sorts right before "0" byte-wise, so
// [p + "/", p + "0") holds exactly the paths below p.
std::vector<SQLValue> subtreeValues(std::string_view path);

// Absent when NULL or not after 1970.
std::optional<double> optionalDate(const SQLiteConnection::Statement& row, int column);
// A number that names no category reads as other.
StorageCategory category(std::int64_t raw);
// Any word but the four known ones, NULL included, reads as failed.
ScanRecord::Status status(std::string_view raw);

FileItem mapFile(const SQLiteConnection::Statement& row);
FolderItem mapFolder(const SQLiteConnection::Statement& row);
ScanRecord mapScan(const SQLiteConnection::Statement& row);

} // namespace IndexRows
