#pragma once

#include "index/FileRecords.h"
#include "index/SQLValue.h"
#include "index/ScanRecords.h"

#include <cstdint>
#include <optional>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class SQLiteConnection;

// Turns the present fields of a search into SQL conditions over the scan cache and runs
// them, largest allocated size first. The connection must have unicode_glob registered
// (UnicodeLower::registerFunction). The kind and the application name are the caller's.
class SearchQuerySQL {
public:
    // A file search that reads the whole table splits it into id ranges of about
    // `rowsPerSlice` rows and reads up to four at once, each on a connection of its own.
    static constexpr std::int64_t defaultRowsPerSlice = 200'000;

    explicit SearchQuerySQL(SQLiteConnection& db, std::int64_t rowsPerSlice = defaultRowsPerSlice)
        : db_(db), rowsPerSlice_(rowsPerSlice)
    {
    }

    // With no condition at all: the `limit` largest files. Fails with SQLiteError.
    std::vector<FileItem> files(const SearchQuery& query);
    // Empty without touching the tables when no folder can match: folders have no extension
    // or category, and a folder search never lists the whole table. Fails with SQLiteError.
    std::vector<FolderItem> folders(const SearchQuery& query);

    // "%" + text + "%" for LIKE ... ESCAPE '\', with \, % and _ matching themselves.
    static std::string containsPattern(std::string_view text);
    // The bounds [prefix, end) of the paths strictly below `folder`: prefix is the folder
    // with a "/" at the end, end the same text with that "/" replaced by "0".
    static std::pair<std::string, std::string> subtreeRange(std::string_view folder);

private:
    // Null when the table is read in one pass.
    std::optional<std::vector<FileItem>> filesInSlices(const std::string& where, const std::vector<SQLValue>& values,
                                                       std::int64_t limit);

    SQLiteConnection& db_;
    std::int64_t rowsPerSlice_;
};
