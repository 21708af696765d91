#include "index/ScanCacheSchema.h"
#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> strings(SQLiteConnection& db, const std::string& sql)
{
    std::vector<std::string> values;
    db.query(sql, {}, [&](SQLiteConnection::Statement& row) { values.push_back(row.text(0)); });
    return values;
}

std::string storedVersion(SQLiteConnection& db)
{
    auto values = strings(db, "SELECT value FROM meta WHERE key = 'schema_version'");
    return values.empty() ? "<none>" : values.front();
}

} // namespace

TEST(ScanCacheSchema, NewFileGetsTheFullFormat)
{
    TempDir dir;
    const auto path = dir.file("ScanCache.sqlite");
    { StorageDatabase opened(path); }

    SQLiteConnection db(path);
    EXPECT_EQ(strings(db, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    EXPECT_EQ(strings(db, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
    EXPECT_EQ(storedVersion(db), "2");

    struct Table { const char* name; std::vector<std::string> columns; };
    const Table tables[] = {
        {.name = "meta", .columns = {"key", "value"}},
        {.name = "folders", .columns = {"id", "parent_id", "path", "name", "depth", "modified", "restricted", "scan_id", "scanned_at",
                     "category", "direct_alloc", "direct_size", "direct_files", "direct_dirs", "total_alloc",
                     "total_size", "total_files", "total_dirs"}},
        {.name = "files", .columns = {"id", "folder_id", "name", "ext", "size", "alloc", "counted_alloc", "modified", "created",
                   "accessed", "flags", "inode", "category", "scanned_at"}},
        {.name = "scans", .columns = {"id", "started", "finished", "status", "roots", "files", "folders", "bytes", "new_files",
                   "changed_files", "deleted_files"}},
        {.name = "history", .columns = {"id", "timestamp", "volume_total", "volume_used", "scanned_bytes"}},
        {.name = "category_totals", .columns = {"category", "bytes", "files"}},
        {.name = "errors", .columns = {"id", "timestamp", "path", "message"}},
    };
    for (const auto& table : tables) {
        std::vector<std::string> columns;
        db.query(std::string("PRAGMA table_info(") + table.name + ")", {},
                 [&](SQLiteConnection::Statement& row) { columns.push_back(row.text(1)); });
        EXPECT_EQ(columns, table.columns) << table.name;
    }
    EXPECT_EQ(strings(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name").size(), 8u);
    EXPECT_EQ(strings(db, "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name"),
              (std::vector<std::string>{"files_alloc", "files_category", "files_ext", "files_folder", "files_size",
                                        "folders_name", "folders_parent", "folders_total"}));
}

TEST(ScanCacheSchema, OnlyANewCacheGetsLargePages)
{
    TempDir dir;
    const auto fresh = dir.file("fresh.sqlite");
    { StorageDatabase opened(fresh); }
    const auto older = dir.file("older.sqlite");
    {
        SQLiteConnection db(older);
        db.execute("PRAGMA page_size=4096; CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);");
    }
    { StorageDatabase opened(older); }
    for (const auto& [path, expected] : {std::pair{fresh, "16384"}, std::pair{older, "4096"}}) {
        SQLiteConnection db(path);
        EXPECT_EQ(strings(db, "PRAGMA page_size"), std::vector<std::string>{expected}) << path;
    }
}

TEST(ScanCacheSchema, StoredVersionDecidesTheWipe)
{
    struct Case { std::optional<std::string> stored; bool wiped; };
    const Case cases[] = {
        {.stored = std::nullopt, .wiped = false},
        {.stored = "2", .wiped = false},  {.stored = "abc", .wiped = false},
        {.stored = "", .wiped = false},   {.stored = " 1", .wiped = false},
        {.stored = "1 ", .wiped = false},
        {.stored = "+-1", .wiped = false},
        {.stored = "1", .wiped = true},
        {.stored = "0", .wiped = true},
        {.stored = "-5", .wiped = true},
        {.stored = "+1", .wiped = true},
        {.stored = "3", .wiped = false},
        {.stored = "12", .wiped = false},   // a newer build's cache is kept, and marked as written by this one
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto path = dir.file("ScanCache.sqlite");
        {
            StorageDatabase fresh(path);
            fresh.logError("/kept", "kept across wipes");
            fresh.commit();
        }
        {
            SQLiteConnection db(path);
            db.execute("INSERT INTO folders(path, name) VALUES('/a', 'a');"
                       "INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc) VALUES(1, 'f', '', 1, 1, 1);"
                       "INSERT INTO scans(status) VALUES('completed'); INSERT INTO history(timestamp) VALUES(1);"
                       "INSERT INTO category_totals VALUES(0, 1, 1); DELETE FROM meta;");
            if (c.stored) db.run("INSERT INTO meta(key, value) VALUES('schema_version', ?)", {*c.stored});
        }
        { StorageDatabase reopened(path); }
        SQLiteConnection db(path);
        const std::string label = c.stored.value_or("<no row>");
        for (const char* table : {"folders", "files", "scans", "history", "category_totals"}) {
            EXPECT_EQ(db.scalarInt(std::string("SELECT COUNT(*) FROM ") + table), c.wiped ? 0 : 1) << label << table;
        }
        EXPECT_EQ(db.scalarInt("SELECT COUNT(*) FROM errors"), 1) << label;
        EXPECT_EQ(storedVersion(db), "2") << label;
    }
}
