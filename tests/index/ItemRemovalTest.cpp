#include "index/ItemRemoval.h"
#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>

namespace {

struct Row {
    std::int64_t totalAlloc, totalSize, totalFiles, totalDirs, directAlloc, directSize, directFiles, directDirs;
    friend bool operator==(const Row&, const Row&) = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r)
{
    return out << "{total " << r.totalAlloc << "/" << r.totalSize << "/" << r.totalFiles << "/" << r.totalDirs
               << " direct " << r.directAlloc << "/" << r.directSize << "/" << r.directFiles << "/" << r.directDirs << "}";
}

ScannedFile file(std::string name, std::int64_t counted, std::int64_t size, StorageCategory category)
{
    ScannedFile f;
    f.name = std::move(name);
    f.size = size;
    f.allocatedSize = counted == 0 ? 4096 : counted;   // a further hard link counts 0
    f.countedAllocatedSize = counted;
    f.modified = f.created = f.accessed = 1000.0;
    f.category = category;
    return f;
}

// /r                 a (4096)
// /r/b               f (4096, size 1000), g (hard link: 0, size 1000)
// /r/b/c             h (8192)
// /r/b/c/d           i (12288)
// /r/b/e             (empty)
// /r/x               j (4096, photos)
class ItemRemovalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        using C = StorageCategory;
        auto scan = db.startScan({"/r"});
        std::map<std::string, std::int64_t> ids;
        ids["/r"] = scan.ensureRoot("/r", 1.0);
        const struct {
            const char* path;
            const char* parent;
            int depth;
            std::vector<ScannedFile> files;
            std::vector<std::string> children;
        } folders[] = {
            {.path = "/r",
             .parent = nullptr,
             .depth = 0,
             .files = {file("a", 4096, 4000, C::documents)},
             .children = {"b", "x"}},
            {.path = "/r/b",
             .parent = "/r",
             .depth = 1,
             .files = {file("f", 4096, 1000, C::documents), file("g", 0, 1000, C::documents)},
             .children = {"c", "e"}},
            {.path = "/r/b/c",
             .parent = "/r/b",
             .depth = 2,
             .files = {file("h", 8192, 8000, C::videos)},
             .children = {"d"}},
            {.path = "/r/b/c/d",
             .parent = "/r/b/c",
             .depth = 3,
             .files = {file("i", 12288, 12000, C::videos)},
             .children = {}},
            {.path = "/r/b/e", .parent = "/r/b", .depth = 2, .files = {}, .children = {}},
            {.path = "/r/x", .parent = "/r", .depth = 1, .files = {file("j", 4096, 4000, C::photos)}, .children = {}},
        };
        for (const auto& f : folders) {
            DirectorySnapshot s;
            s.path = f.path;
            s.name = s.path.substr(s.path.rfind('/') + 1);
            s.depth = f.depth;
            s.modified = 1.0;
            if (f.parent)
                s.parentID = ids.at(f.parent);
            s.folderID = ids.at(f.path);
            s.files = f.files;
            for (const auto& child : f.children)
                s.subdirectories.push_back({.name = child, .modified = 1.0});
            const auto result = scan.syncDirectory(s);
            for (const auto& [name, id] : result.childIDs)
                ids[s.path + "/" + name] = id;
        }
        scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}});
    }

    Row row(const std::string& path)
    {
        Row r{};
        bool found = false;
        reader().query("SELECT total_alloc, total_size, total_files, total_dirs, direct_alloc, direct_size, "
                       "direct_files, direct_dirs FROM folders WHERE path = ?",
                       {path}, [&](SQLiteConnection::Statement& s) {
                           found = true;
                           r = {s.integer(0), s.integer(1), s.integer(2), s.integer(3),
                                s.integer(4), s.integer(5), s.integer(6), s.integer(7)};
                       });
        EXPECT_TRUE(found) << path;
        return r;
    }

    std::int64_t count(const std::string& sql) { return reader().scalarInt(sql); }

    // Totals recomputed from the remaining rows: what a fresh scan of the same tree would store.
    void expectTotalsMatchRows()
    {
        reader().query("SELECT path FROM folders", {}, [&](SQLiteConnection::Statement& s) { paths.push_back(s.text(0)); });
        for (const auto& path : paths) {
            const std::string inside = "(d.path = ?1 OR (d.path >= ?1 || '/' AND d.path < ?1 || '0'))";
            Row expected{};
            reader().query("SELECT IFNULL(SUM(f.counted_alloc),0), IFNULL(SUM(f.size),0), COUNT(f.id) FROM files f "
                           "JOIN folders d ON d.id = f.folder_id WHERE " + inside,
                           {path}, [&](SQLiteConnection::Statement& s) {
                               expected.totalAlloc = s.integer(0);
                               expected.totalSize = s.integer(1);
                               expected.totalFiles = s.integer(2);
                           });
            expected.totalDirs = reader().scalarInt("SELECT COUNT(*) - 1 FROM folders d WHERE " + inside, {path});
            reader().query("SELECT IFNULL(SUM(f.counted_alloc),0), IFNULL(SUM(f.size),0), COUNT(f.id) FROM files f "
                           "JOIN folders d ON d.id = f.folder_id WHERE d.path = ?",
                           {path}, [&](SQLiteConnection::Statement& s) {
                               expected.directAlloc = s.integer(0);
                               expected.directSize = s.integer(1);
                               expected.directFiles = s.integer(2);
                           });
            expected.directDirs = reader().scalarInt(
                "SELECT COUNT(*) FROM folders WHERE parent_id = (SELECT id FROM folders WHERE path = ?)", {path});
            EXPECT_EQ(row(path), expected) << path;
        }
        paths.clear();
        EXPECT_EQ(count("SELECT COUNT(*) FROM (SELECT category, SUM(counted_alloc) b, COUNT(*) n FROM files GROUP BY "
                        "category EXCEPT SELECT category, bytes, files FROM category_totals)"),
                  0);
        EXPECT_EQ(count("SELECT COUNT(*) FROM category_totals"), count("SELECT COUNT(DISTINCT category) FROM files"));
    }

    SQLiteConnection& reader()
    {
        if (!reader_)
            reader_ = std::make_unique<SQLiteConnection>(dir.file("ScanCache.sqlite"));
        return *reader_;
    }

    TempDir dir;
    StorageDatabase db{dir.file("ScanCache.sqlite")};
    std::vector<std::string> paths;
    std::unique_ptr<SQLiteConnection> reader_;
};

} // namespace

TEST_F(ItemRemovalTest, RemovingAFileShrinksEveryAncestorAndOnlyTheParentsDirectValues)
{
    const Row before = row("/r/b");
    db.removeItem("/r/b/f");
    EXPECT_EQ(row("/r/b"), (Row{.totalAlloc = before.totalAlloc - 4096,
                                .totalSize = before.totalSize - 1000,
                                .totalFiles = before.totalFiles - 1,
                                .totalDirs = before.totalDirs,
                                .directAlloc = 0,
                                .directSize = 1000,
                                .directFiles = 1,
                                .directDirs = 2}));
    EXPECT_EQ(row("/r").totalAlloc, 4096 + 0 + 8192 + 12288 + 4096);
    EXPECT_EQ(row("/r").directFiles, 1);
    expectTotalsMatchRows();

    // A further hard link held no counted bytes: only sizes move.
    const Row root = row("/r");
    db.removeItem("/r/b/g");
    EXPECT_EQ(row("/r").totalAlloc, root.totalAlloc);
    EXPECT_EQ(row("/r").totalSize, root.totalSize - 1000);
    expectTotalsMatchRows();
}

TEST_F(ItemRemovalTest, RemovingAFolderTakesItsWholeSubtree)
{
    db.removeItem("/r/b/c");
    EXPECT_EQ(count("SELECT COUNT(*) FROM folders WHERE path LIKE '/r/b/c%'"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM files WHERE name IN ('h', 'i')"), 0);
    EXPECT_EQ(row("/r").totalDirs, 3);   // b, e, x
    EXPECT_EQ(row("/r/b").directDirs, 1);
    expectTotalsMatchRows();
    EXPECT_EQ(count("SELECT COUNT(*) FROM category_totals WHERE category = 6"), 0);   // no videos left

    // The root goes with everything; nothing else is left to correct.
    db.removeItem("/r");
    EXPECT_EQ(count("SELECT COUNT(*) FROM folders"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM files"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM category_totals"), 0);
}

TEST_F(ItemRemovalTest, ManyItemsAtOnceLeaveTotalsThatMatchTheRows)
{
    // Overlapping paths, an unknown path and a repeat: the order of removal must not matter.
    const std::vector<std::string> paths{"/r/b/c/d/i", "/r/b/c", "/r/nothing", "/r/x/j", "/r/x/j", "/r/b/f"};
    db.removeItems(paths);
    expectTotalsMatchRows();
    const Row root = row("/r");

    EXPECT_EQ(root.totalAlloc, 4096);        // a
    EXPECT_EQ(root.totalSize, 4000 + 1000);  // a, g
    EXPECT_EQ(root.totalFiles, 2);
    EXPECT_EQ(root.totalDirs, 3);            // b, e, x
}

TEST_F(ItemRemovalTest, UnknownPathStillRebuildsAndCommits)
{
    reader().run("DELETE FROM category_totals");
    db.removeItem("/elsewhere/file");
    expectTotalsMatchRows();
    EXPECT_EQ(row("/r").totalFiles, 6);
}

TEST(ItemRemoval, AncestorWalkStopsAfter4096Folders)
{
    TempDir dir;
    SQLiteConnection db(dir.file("chain.sqlite"));
    db.execute("CREATE TABLE folders(id INTEGER PRIMARY KEY, parent_id INTEGER, total_alloc INTEGER DEFAULT 0, "
               "total_size INTEGER DEFAULT 0, total_files INTEGER DEFAULT 0, total_dirs INTEGER DEFAULT 0);"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
               "INSERT INTO folders(id, parent_id) SELECT i, CASE WHEN i = 1 THEN NULL ELSE i - 1 END FROM n;"
               // A loop must end too.
               "INSERT INTO folders(id, parent_id) VALUES (9001, 9002), (9002, 9001);");
    db.execute("BEGIN;");
    ItemRemoval::adjustAncestors(db, 5000, -1, -2, -3, -4);
    EXPECT_EQ(db.scalarInt("SELECT COUNT(*) FROM folders WHERE total_alloc = -1 AND total_size = -2 AND "
                           "total_files = -3 AND total_dirs = -4"),
              4096);
    EXPECT_EQ(db.scalarInt("SELECT MIN(id) FROM folders WHERE total_alloc = -1"), 5000 - 4095);
    ItemRemoval::adjustAncestors(db, 9001, -1, 0, 0, 0);
    db.execute("COMMIT;");
    EXPECT_EQ(db.scalarInt("SELECT total_alloc FROM folders WHERE id = 9001"), -2048);
}

TEST_F(ItemRemovalTest, AFailedRemovalInTheMiddleLeavesTheOthersRemovedAndTheTotalsRight)
{
    // The index refuses to let go of h: a removal that fails half way through the list.
    reader().execute("CREATE TRIGGER keep_h BEFORE DELETE ON files WHEN old.name = 'h' "
                     "BEGIN SELECT RAISE(ABORT, 'h is held'); END;");
    EXPECT_THROW(db.removeItems({"/r/a", "/r/b/c/h", "/r/x/j", "/r/b/f"}), SQLiteError);

    EXPECT_EQ(count("SELECT COUNT(*) FROM files WHERE name IN ('a', 'j', 'f')"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM files WHERE name = 'h'"), 1);
    expectTotalsMatchRows();
    EXPECT_EQ(count("SELECT COUNT(*) FROM category_totals WHERE category = 5"), 0);   // no photos left

    // The next removal starts clean and commits.
    reader().execute("DROP TRIGGER keep_h;");
    db.removeItem("/r/b/c/h");
    expectTotalsMatchRows();
    EXPECT_EQ(count("SELECT COUNT(*) FROM files WHERE name = 'h'"), 0);
}
