#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

class SQLiteConnection;

// The file format of the scan cache and the steps that bring a connection to it.
namespace ScanCacheSchema {

inline constexpr int currentVersion = 2;

// The indexes whose entries a scan adds in no particular order. A first scan into an empty
// cache drops them and builds them again at its finish, which costs less than keeping them
// up to date row by row; should the program stop in between, the next opening creates them.
extern const std::array<std::string, 6> bulkLoadIndexes;
extern const std::string bulkLoadDrops;

// Every table and index, created when missing.
extern const std::string script;

// Connection settings, tables, the version rule and the version row. Fails with SQLiteError.
void migrate(SQLiteConnection& db);

// Fails with SQLiteError (SQLITE_CORRUPT) when a table lacks one of its columns.
void checkColumns(SQLiteConnection& db);

// A stored version that is not a plain decimal integer (optional sign, digits only) reads as nothing.
std::optional<long long> parseVersion(std::string_view text);

} // namespace ScanCacheSchema
