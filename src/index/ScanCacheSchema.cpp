#include "index/ScanCacheSchema.h"

#include "index/FolderDigests.h"
#include "index/SQLiteConnection.h"

#include <algorithm>
#include <charconv>
#include <sqlite3.h>
#include <string_view>

namespace ScanCacheSchema {

const std::array<std::string, 7> bulkLoadIndexes = {
    // First: a rescan's comparison of each folder with its stored rows looks them up by it.
    "CREATE INDEX IF NOT EXISTS files_folder ON files(folder_id);",
    "CREATE INDEX IF NOT EXISTS folders_name ON folders(name);",
    "CREATE INDEX IF NOT EXISTS folders_total ON folders(total_alloc DESC);",
    "CREATE INDEX IF NOT EXISTS files_alloc ON files(alloc DESC);",
    "CREATE INDEX IF NOT EXISTS files_size ON files(size);",
    "CREATE INDEX IF NOT EXISTS files_ext ON files(ext);",
    "CREATE INDEX IF NOT EXISTS files_category ON files(category, alloc DESC);",
};

// Dropped under the names their statements above create, so the two lists cannot drift apart.
namespace {

std::string indexName(const std::string& create)
{
    const std::string_view prefix = "CREATE INDEX IF NOT EXISTS ";
    const std::size_t end = create.find(' ', prefix.size());
    return create.substr(prefix.size(), end - prefix.size());
}

} // namespace

const std::string& rescanIndex = bulkLoadIndexes.front();

// A bulk load fills the folders' path and parent indexes in the walk's order, leaving about a
// fifth of their pages empty; rebuilt in order before the indexes a bulk load leaves out, they
// give those the pages they free, and the cache file stays that much smaller.
const std::array<std::string, 2> bulkLoadRepacks = {"REINDEX sqlite_autoindex_folders_1;", "REINDEX folders_parent;"};

const std::string bulkLoadDrops = [] {
    std::string drops;
    for (const std::string& create : bulkLoadIndexes) drops += "DROP INDEX IF EXISTS " + indexName(create) + ";";
    return drops;
}();

std::vector<std::string> missingBulkLoadIndexes(SQLiteConnection& db)
{
    std::vector<std::string> present;
    db.query("SELECT name FROM sqlite_master WHERE type = 'index'", {},
             [&](SQLiteConnection::Statement& row) { present.push_back(row.text(0)); });
    std::vector<std::string> missing;
    for (const std::string& create : bulkLoadIndexes)
        if (std::find(present.begin(), present.end(), indexName(create)) == present.end()) missing.push_back(create);
    // After the index a rescan compares through, which a scan may be waiting for.
    if (!missing.empty())
        missing.insert(missing.begin() + (missing.front() == rescanIndex ? 1 : 0), bulkLoadRepacks.begin(),
                       bulkLoadRepacks.end());
    return missing;
}

const std::string script =
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE IF NOT EXISTS folders("
    "id INTEGER PRIMARY KEY, "
    "parent_id INTEGER, "
    "path TEXT NOT NULL UNIQUE, "
    "name TEXT NOT NULL, "
    "depth INTEGER NOT NULL DEFAULT 0, "
    "modified REAL, "
    "restricted INTEGER NOT NULL DEFAULT 0, "
    "scan_id INTEGER NOT NULL DEFAULT 0, "
    "scanned_at REAL, "
    "category INTEGER NOT NULL DEFAULT 0, "
    "direct_alloc INTEGER NOT NULL DEFAULT 0, "
    "direct_size INTEGER NOT NULL DEFAULT 0, "
    "direct_files INTEGER NOT NULL DEFAULT 0, "
    "direct_dirs INTEGER NOT NULL DEFAULT 0, "
    "total_alloc INTEGER NOT NULL DEFAULT 0, "
    "total_size INTEGER NOT NULL DEFAULT 0, "
    "total_files INTEGER NOT NULL DEFAULT 0, "
    "total_dirs INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS folders_parent ON folders(parent_id, total_alloc DESC);"
    "CREATE TABLE IF NOT EXISTS files("
    "id INTEGER PRIMARY KEY, "
    "folder_id INTEGER NOT NULL, "
    "name TEXT NOT NULL, "
    "ext TEXT NOT NULL, "
    "size INTEGER NOT NULL, "
    "alloc INTEGER NOT NULL, "
    "counted_alloc INTEGER NOT NULL, "
    "modified REAL, "
    "created REAL, "
    "accessed REAL, "
    "flags INTEGER NOT NULL DEFAULT 0, "
    "inode INTEGER NOT NULL DEFAULT 0, "
    "category INTEGER NOT NULL DEFAULT 0, "
    "scanned_at REAL);"
    "CREATE TABLE IF NOT EXISTS scans("
    "id INTEGER PRIMARY KEY, "
    "started REAL, "
    "finished REAL, "
    "status TEXT, "
    "roots TEXT, "
    "files INTEGER DEFAULT 0, "
    "folders INTEGER DEFAULT 0, "
    "bytes INTEGER DEFAULT 0, "
    "new_files INTEGER DEFAULT 0, "
    "changed_files INTEGER DEFAULT 0, "
    "deleted_files INTEGER DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS history("
    "id INTEGER PRIMARY KEY, "
    "timestamp REAL, "
    "volume_total INTEGER, "
    "volume_used INTEGER, "
    "scanned_bytes INTEGER);"
    "CREATE TABLE IF NOT EXISTS category_totals(category INTEGER PRIMARY KEY, bytes INTEGER, files INTEGER);"
    "CREATE TABLE IF NOT EXISTS errors(id INTEGER PRIMARY KEY, timestamp REAL, path TEXT, message TEXT);";

void checkColumns(SQLiteConnection& db)
{
    // A table created by another program under one of our names keeps its own columns
    // through CREATE TABLE IF NOT EXISTS; every later query would fail on it.
    static const char* const probes[] = {
        "SELECT key, value FROM meta LIMIT 0",
        "SELECT id, parent_id, path, name, depth, modified, restricted, scan_id, scanned_at, category, direct_alloc, "
        "direct_size, direct_files, direct_dirs, total_alloc, total_size, total_files, total_dirs FROM folders LIMIT 0",
        "SELECT id, folder_id, name, ext, size, alloc, counted_alloc, modified, created, accessed, flags, inode, "
        "category, scanned_at FROM files LIMIT 0",
        "SELECT id, started, finished, status, roots, files, folders, bytes, new_files, changed_files, deleted_files "
        "FROM scans LIMIT 0",
        "SELECT id, timestamp, volume_total, volume_used, scanned_bytes FROM history LIMIT 0",
        "SELECT category, bytes, files FROM category_totals LIMIT 0",
        "SELECT id, timestamp, path, message FROM errors LIMIT 0",
    };
    for (const char* probe : probes) {
        try {
            db.query(probe, {}, [](SQLiteConnection::Statement&) {});
        } catch (const SQLiteError& error) {
            throw SQLiteError(SQLITE_CORRUPT, "the cache's tables are not the expected ones (" + error.message() + ")");
        }
    }
}

std::optional<long long> parseVersion(std::string_view text)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

void migrate(SQLiteConnection& db)
{
    // Takes effect only while the file holds no table yet: a new cache gets larger pages
    // (fewer b-tree levels and splits while a scan fills it), an existing one keeps its own.
    db.execute("PRAGMA page_size=16384;");
    db.execute("PRAGMA journal_mode=WAL;");
    db.execute("PRAGMA synchronous=NORMAL;");
    db.execute("PRAGMA temp_store=MEMORY;");
    db.execute("PRAGMA cache_size=-16000;");
    // Checkpoints a little less often than the default 1000 pages of 4 KB; a scan's batches
    // are committed every second and each checkpoint rewrites the pages they touched.
    db.execute("PRAGMA wal_autocheckpoint=2000;");
    try {
        db.execute(script);
    } catch (const SQLiteError&) {
        checkColumns(db);   // an index over a missing column fails first; say what it is
        throw;
    }
    checkColumns(db);

    std::optional<std::string> stored;
    db.query("SELECT value FROM meta WHERE key = 'schema_version'", {}, [&](SQLiteConnection::Statement& row) {
        if (!stored) stored = row.text(0);
    });
    // An older layout is emptied. A newer build's cache is kept: its tables extend ours, and
    // the version row rewritten below tells that build an older one has written here.
    if (stored) {
        if (const auto version = parseVersion(*stored); version && *version < currentVersion) {
            FolderDigests::stopTracking(db);
            db.execute("DELETE FROM files; DELETE FROM folders; DELETE FROM scans; DELETE FROM history; "
                       "DELETE FROM category_totals;");
        }
    }
    db.run("INSERT OR REPLACE INTO meta(key, value) VALUES('schema_version', ?)", {std::to_string(currentVersion)});
    // Tracked again after a bulk load that never finished.
    FolderDigests::create(db);
    // Over rows these take seconds to build; the opening leaves that to a thread of the cache.
    if (db.scalarInt("SELECT EXISTS(SELECT 1 FROM files) OR EXISTS(SELECT 1 FROM folders)") == 0)
        for (const std::string& create : missingBulkLoadIndexes(db)) db.execute(create);
}

} // namespace ScanCacheSchema
