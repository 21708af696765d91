#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SQLiteConnection;

// The file format of the scan cache and the steps that bring a connection to it.
namespace ScanCacheSchema {

inline constexpr int currentVersion = 2;

// The indexes whose entries a scan adds in no particular order. A first scan into an empty
// cache drops them and has them built again after its finish, which costs less than keeping
// them up to date row by row; should the program stop in between, the next opening does.
extern const std::array<std::string, 7> bulkLoadIndexes;
// The first of them, through which a scan compares each changed folder with its stored file
// rows: it needs no other to begin.
extern const std::string& rescanIndex;
extern const std::string bulkLoadDrops;
// The statements of those that the cache lacks, in the order above; when any is, the indexes
// a bulk load kept on the folders are rebuilt in order after the first, to give back their room.
std::vector<std::string> missingBulkLoadIndexes(SQLiteConnection& db);

// Every table and the indexes kept at all times, created when missing.
extern const std::string script;

// Connection settings, tables, the version rule and the version row; the other indexes too
// while the cache holds no rows. Fails with SQLiteError.
void migrate(SQLiteConnection& db);

// Fails with SQLiteError (SQLITE_CORRUPT) when a table lacks one of its columns.
void checkColumns(SQLiteConnection& db);

// A stored version that is not a plain decimal integer (optional sign, digits only) reads as nothing.
std::optional<long long> parseVersion(std::string_view text);

} // namespace ScanCacheSchema
