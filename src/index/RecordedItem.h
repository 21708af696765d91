#pragma once

#include <cstdint>
#include <optional>
#include <string>

class SQLiteConnection;

// What the index holds about the item at one path, enough to tell that the item found
// there later is still that item: its kind and, for a file the scan keeps one of (a hard
// link), its inode.
struct RecordedItem {
    enum class Kind { file, symbolicLink, folder };
    Kind kind = Kind::file;
    std::optional<std::int64_t> inode = std::nullopt;

    friend bool operator==(const RecordedItem&, const RecordedItem&) = default;

    // Absent when the index holds no row at `path`.
    static std::optional<RecordedItem> lookUp(SQLiteConnection& db, const std::string& path);
};
