#include "index/IndexBuilder.h"
#include "index/ScanCacheSchema.h"
#include "index/ScanCacheTestSupport.h"
#include "support/PrivateMount.h"
#include "support/TempDir.h"

#include <sqlite3.h>

#include <filesystem>

class IndexBuilderTest : public ScanCacheFixture {};

namespace {

// A cache of many file rows in one folder, written outside the cache's own connection and
// without the indexes a first scan leaves out, so that building them takes a while.
void fillWithoutBulkIndexes(const std::string& path, int files)
{
    SQLiteConnection db(path);
    db.execute(ScanCacheSchema::bulkLoadDrops);
    db.execute("BEGIN;"
               "INSERT INTO folders(id, parent_id, path, name, direct_alloc, direct_files, total_alloc, total_files) "
               "VALUES(1, NULL, '/r', 'r', 0, 0, 0, 0);"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
               std::to_string(files) +
               ") INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, category) "
               "SELECT 1, 'f' || i, 'e' || (i % 97), (i * 7919) % 100003, (i * 104729) % 99991, 1, i % 26 FROM n;"
               "COMMIT;");
}

const std::string indexNamesSQL =
    "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name";

const std::vector<std::string> everyIndex = {"files_alloc", "files_category", "files_ext",   "files_folder",
                                             "files_size",  "folders_name",   "folders_parent", "folders_total"};

} // namespace

TEST_F(IndexBuilderTest, AnOpeningBuildsMissingIndexesBehindItWhileReadsAndWritesStayCorrect)
{
    db.reset();
    fillWithoutBulkIndexes(path(), 200000);

    reopen();
    // Served during the build, without the index they would use.
    const auto largest = db->largestFiles(3);
    ASSERT_EQ(largest.size(), 3u);
    EXPECT_EQ(largest.front().allocatedSize, 99990);
    EXPECT_EQ(db->categoryTotals().size(), 0u);
    // A write waits for the build instead of failing on the write lock the build holds.
    db->logError("/r/x", "Access restricted");
    db->removeItem("/r/f1");
    db->waitForIndexes();
    EXPECT_EQ(committedTexts(indexNamesSQL), everyIndex);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 199999);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM errors WHERE message = 'Access restricted'"), 1);
    EXPECT_EQ(db->largestFiles(1).front().allocatedSize, 99990);
}

TEST_F(IndexBuilderTest, ClosingDuringAnIndexBuildKeepsEveryRowAndTheNextOpeningFinishesIt)
{
    db.reset();
    fillWithoutBulkIndexes(path(), 200000);
    for (int round = 0; round < 3; ++round) {
        reopen();
        db.reset();   // at once: the build is stopped wherever it is
        SQLiteConnection observer(path());
        EXPECT_EQ(observer.scalarInt("SELECT COUNT(*) FROM files"), 200000) << round;
        EXPECT_EQ(observer.scalarInt("SELECT COUNT(*) FROM errors"), 0) << round;
    }
    reopen();
    db->waitForIndexes();
    EXPECT_EQ(committedTexts(indexNamesSQL), everyIndex);
    SQLiteConnection observer(path());
    EXPECT_EQ(observer.scalarInt("SELECT COUNT(*) FROM pragma_quick_check WHERE quick_check <> 'ok'"), 0);
}

TEST_F(IndexBuilderTest, AFailedIndexBuildIsLoggedAndBuiltAgainByTheNextFinish)
{
    {
        // As on a full disk: a statement fails, the build ends there and says why.
        IndexBuilder builder(path(), {"CREATE INDEX broken ON files(no_such_column);",
                                      "CREATE INDEX IF NOT EXISTS never ON files(size);"});
        builder.wait();
        EXPECT_TRUE(builder.isFinished());
    }
    EXPECT_EQ(committed("SELECT COUNT(*) FROM sqlite_master WHERE name = 'never'"), 0);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM errors WHERE path = '" + path() +
                        "' AND message LIKE 'Cache write failed: %no_such_column%'"),
              1);

    // An index lost that way, or dropped by anyone, comes back behind the next finish, for
    // a cancelled scan as for a completed one.
    for (const auto status : {ScanRecord::Status::cancelled, ScanRecord::Status::completed}) {
        executeOutside("DROP INDEX files_size; DROP INDEX folders_total;");
        scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}}, status);
        db->waitForIndexes();
        EXPECT_EQ(committedTexts(indexNamesSQL), everyIndex) << rawValue(status);
    }
}

TEST_F(IndexBuilderTest, ListsKeepTheirOrderOfEqualSizesWhileTheirIndexesAreMissing)
{
    // Folders synced in the reverse of their path order, so that a walk along the paths meets
    // the files of equal size in the reverse of their id order.
    std::vector<Entry> tree = {{.path = "/r", .files = {file("top", 4096)}}};
    for (int i = 5; i >= 0; --i)
        tree.push_back({"/r/d" + std::to_string(i), {file("f" + std::to_string(i), 4096), file("g", 8192)}});
    scanTree("/r", tree);
    const auto lists = [&] {
        std::vector<std::string> names;
        for (const auto& f : db->largestFiles(100)) names.push_back(f.folderPath + "/" + f.name);
        for (const auto& f : db->largestFiles(100, std::nullopt, "/r")) names.push_back(f.folderPath + "/" + f.name);
        for (const auto& f : db->recentLargeFiles(0, 0, 100)) names.push_back(f.folderPath + "/" + f.name);
        for (const auto& f : db->largestFolders(100, 5)) names.push_back(f.path);
        for (const auto& f : db->childFolders(db->folder("/r")->id, 100)) names.push_back(f.path);
        return names;
    };
    const auto indexed = lists();
    executeOutside(ScanCacheSchema::bulkLoadDrops + "DROP INDEX folders_parent;");
    EXPECT_EQ(lists(), indexed);
}

TEST_F(IndexBuilderTest, IndexesAreBuiltInMemoryWhenNoTemporaryFileCanBeWritten)
{
    db.reset();
    fillWithoutBulkIndexes(path(), 200000);
    TempDir temporary;
    const std::string folder = temporary.file("full");
    std::filesystem::create_directories(folder);
    const PrivateMount::Result result = PrivateMount::run({{folder, 16 * 1024}}, [&]() -> std::string {
        // The folder SQLite sorts in, now too small for a single sorted run.
        sqlite3_temp_directory = sqlite3_mprintf("%s", folder.c_str());
        {
            StorageDatabase database(path());
            database.waitForIndexes();
        }
        if (committedTexts(indexNamesSQL) != everyIndex)
            return "the indexes were not built";
        SQLiteConnection observer(path());
        if (observer.scalarInt("SELECT COUNT(*) FROM errors") != 0)
            return "the build logged a failure";
        return "";
    });
    if (!result.ran)
        GTEST_SKIP() << result.skipReason;
    EXPECT_EQ(result.failure, "");
}

TEST_F(IndexBuilderTest, AScanOverStoredRowsStartsWithTheIndexItComparesThroughAndItsFinishBuildsTheOthers)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}, {.path = "/r/d", .files = {file("b", 2)}}});
    const std::vector<std::string> atStart = {"files_folder", "folders_parent"};
    for (const bool resume : {false, true}) {
        SCOPED_TRACE(resume);
        // As after a build that met a full disk, or an older build's bulk load cut short.
        executeOutside(ScanCacheSchema::bulkLoadDrops);
        auto scan = resume ? db->resumeScan(db->lastScan()->id) : db->startScan({"/r"});
        EXPECT_EQ(committedTexts(indexNamesSQL), atStart);
        scan.finish({.status = ScanRecord::Status::cancelled, .roots = {"/r"}});
        db->waitForIndexes();
        EXPECT_EQ(committedTexts(indexNamesSQL), everyIndex);
    }
}

TEST_F(IndexBuilderTest, AFirstScanWhoseFoldersVanishedEndsWithTheirRowsGone)
{
    auto scan = db->startScan({"/r"});
    ASSERT_TRUE(scan.beginBulkLoad());
    auto root = folder("/r", std::nullopt, 0, {file("a", 1)}, {"gone"});
    root.folderID = scan.ensureRoot("/r", 1.0);
    scan.syncDirectory(root);
    // "gone" was listed, then vanished before it was read: never stamped, so the finish prunes it.
    EXPECT_EQ(scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}}).totals,
              (ScanTotals{.fileCount = 1, .folderCount = 1, .allocatedBytes = 1, .restrictedFolders = 0}));
    EXPECT_FALSE(db->folder("/r/gone").has_value());
    db->waitForIndexes();
    EXPECT_EQ(committedTexts(indexNamesSQL), everyIndex);
}
