#pragma once

#include <cstdint>
#include <optional>
#include <string>

class SQLiteConnection;
class WriteBatch;

// Keeping the cache file itself in shape: its size on disk, its empty room, compacting and
// clearing it.
namespace CacheMaintenance {

// Bytes of the cache file at `path` and its log companions; 0 for any that cannot be read.
std::int64_t fileSize(const std::string& path) noexcept;

// The cache file's pages, the room in them that holds no row, and its log. The empty room
// is free pages, and what rows deleted in the middle of a table or an index leave in pages
// that stay in use, which SQLite fills again only with rows that sort there: rows that come
// and go between rescans leave more of it every time, while a cache written whole leaves a
// tenth or so. The log keeps the size of the most it held since it last started over.
struct Room {
    std::int64_t fileBytes = 0;
    std::int64_t emptyBytes = 0;
    std::int64_t logBytes = 0;
};

// Reads every page of the cache `db` is open on (through SQLite's page statistics); absent
// when SQLite cannot tell.
std::optional<Room> room(SQLiteConnection& db);

// Whether compacting gives back enough of the disk to be worth rewriting the file: a fifth
// of it, and at least a megabyte. The file then stays within about a quarter of a cache
// written whole.
bool isLoose(const Room& room);
// Whether the log left on disk adds as much again, and at least eight megabytes.
bool logIsLarge(const Room& room);
// Whether the disk holding the cache at `path` has room for a compaction of a file this size:
// the rewrite passes through a copy and the log, each as large as the file at most.
bool diskHoldsCompaction(const std::string& path, std::int64_t fileBytes);

// Folds the log back into the file and empties it. Needs the cache's write lock; throws
// SQLiteError.
void emptyLog(SQLiteConnection& db);
// Rewrites the file without empty room, then empties the log, through which the rewrite
// passes the whole file. Needs the cache's write lock for as long as it runs; throws SQLiteError.
void compact(SQLiteConnection& db);

// Empties every table but the schema version, in one transaction, with no batch open: on
// failure nothing is removed and the error is thrown. After the commit the file is compacted,
// so the disk space really returns; a failed compaction leaves the cleared index in place
// unreported.
void clear(WriteBatch& batch);

} // namespace CacheMaintenance
