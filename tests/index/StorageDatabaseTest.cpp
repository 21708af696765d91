#include "index/ScanCacheTestSupport.h"
#include "support/Eventually.h"

#include <sys/stat.h>
#include <thread>

class StorageDatabaseTest : public ScanCacheFixture {};

using namespace std::chrono_literals;

TEST_F(StorageDatabaseTest, BatchCommitsAfterMoreThan19999CountedWrites)
{
    auto scan = db->startScan({"/big"});
    std::vector<ScannedFile> files;
    for (int i = 0; i < 19998; ++i) files.push_back(file("f" + std::to_string(i), 1));
    // 19998 inserts and the folder row: 19999 counted writes, not yet due.
    scan.syncDirectory(folder("/big", std::nullopt, 0, files));
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 0);
    // The 20000th write makes the batch due at the end of that folder.
    scan.syncDirectory(folder("/other", std::nullopt, 0));
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 19998);
}

TEST_F(StorageDatabaseTest, BatchCommitsWhenOlderThanOneSecond)
{
    auto scan = db->startScan({"/t"});
    struct Step { std::chrono::milliseconds age; std::int64_t committedFiles; };
    const Step steps[] = {{.age = 0ms, .committedFiles = 0},
                          {.age = 1000ms, .committedFiles = 0},
                          {.age = 1001ms, .committedFiles = 3}};
    const auto opened = clock;
    int n = 0;
    for (const auto& step : steps) {
        clock = opened + step.age;
        scan.syncDirectory(folder("/t" + std::to_string(n++), std::nullopt, 0, {file("f", 1)}));
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), step.committedFiles) << step.age.count();
    }
}

TEST_F(StorageDatabaseTest, ReadsCommitFirstButTheResumeShortcutDoesNot)
{
    auto scan = db->startScan({"/r"});
    const auto rootID = scan.ensureRoot("/r", 1.0);
    auto root = folder("/r", std::nullopt, 0, {file("a", 10)}, {"child"});
    root.folderID = rootID;
    scan.syncDirectory(root);
    ASSERT_EQ(committed("SELECT COUNT(*) FROM folders"), 0);

    const auto visited = scan.visitedChildren(rootID);
    ASSERT_TRUE(visited);
    EXPECT_EQ(visited->files, 1);
    EXPECT_EQ(visited->bytes, 10);
    ASSERT_EQ(visited->children.size(), 1u);
    EXPECT_EQ(visited->children[0].path, "/r/child");
    EXPECT_EQ(committed("SELECT COUNT(*) FROM folders"), 0);

    // Another scan, or a folder synced by none, must be read again.
    EXPECT_FALSE(db->visitedChildren(rootID, scan.id() + 1));
    EXPECT_FALSE(scan.visitedChildren(visited->children[0].id));
    auto leaf = folder("/r/child", rootID, 1);
    leaf.folderID = visited->children[0].id;
    scan.syncDirectory(leaf);
    const auto empty = scan.visitedChildren(leaf.folderID.value());
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->children.empty());

    EXPECT_EQ(db->largestFiles(10).size(), 1u);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM folders"), 2);
}

TEST_F(StorageDatabaseTest, ScanOutlineRows)
{
    auto scan = db->startScan({"/Applications", "/Users"});
    EXPECT_EQ(db->lastScan()->roots, (std::vector<std::string>{"/Applications", "/Users"}));
    EXPECT_EQ(committed("SELECT COUNT(*) FROM scans WHERE roots = '/Applications' || char(10) || '/Users'"), 1);

    const auto first = scan.ensureRoot("/Users", 5.0);
    EXPECT_EQ(scan.ensureRoot("/Users", 6.0), first);
    EXPECT_EQ(db->rootFolders().size(), 1u);

    scan.finish({.status = ScanRecord::Status::cancelled, .roots = {"/Users"}});
    db->recoverInterruptedScans();
    EXPECT_EQ(db->lastScan()->status, ScanRecord::Status::cancelled);
    scan = db->resumeScan(scan.id());
    const auto resumed = db->lastScan();
    EXPECT_EQ(resumed->status, ScanRecord::Status::running);
    EXPECT_FALSE(resumed->finished);
    db->recoverInterruptedScans();
    EXPECT_EQ(db->lastScan()->status, ScanRecord::Status::cancelled);
}

TEST_F(StorageDatabaseTest, ErrorLogKeepsTheNewestEntries)
{
    struct Case { std::int64_t present; std::int64_t rowsAfter; std::int64_t oldestAfter; };
    const Case cases[] = {
        {.present = 5499, .rowsAfter = 5000, .oldestAfter = 501},   // entry 5500 prunes
        {.present = 5498, .rowsAfter = 5499, .oldestAfter = 1},     // entry 5499 does not
        {.present = 499, .rowsAfter = 500, .oldestAfter = 1},       // entry 500 prunes nothing yet
        {.present = 9999, .rowsAfter = 5000, .oldestAfter = 5001},
    };
    for (const auto& c : cases) {
        db->clearErrors();
        executeOutside("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                       std::to_string(c.present) + ") INSERT INTO errors(id, timestamp, path, message) " +
                       "SELECT i, 1.0, '/p', 'm' FROM n;");
        db->logError("/new", "Access restricted");
        const auto newest = db->recentErrors(1);
        ASSERT_EQ(newest.size(), 1u);
        EXPECT_EQ(newest[0].id, c.present + 1);
        EXPECT_EQ(newest[0].path, "/new");
        EXPECT_EQ(committed("SELECT COUNT(*) FROM errors"), c.rowsAfter) << c.present;
        EXPECT_EQ(committed("SELECT MIN(id) FROM errors"), c.oldestAfter) << c.present;
    }

    db->clearErrors();
    for (int i = 0; i < 10; ++i) db->logError("/p" + std::to_string(i), "m");
    EXPECT_EQ(committed("SELECT COUNT(*) FROM errors"), 0);   // logging never commits
    const auto recent = db->recentErrors(3);
    ASSERT_EQ(recent.size(), 3u);
    EXPECT_EQ((std::vector<std::int64_t>{recent[0].id, recent[1].id, recent[2].id}),
              (std::vector<std::int64_t>{10, 9, 8}));
    db->clearErrors();
    db->logError("/again", "m");
    EXPECT_EQ(db->recentErrors(5).at(0).id, 1);
}

TEST_F(StorageDatabaseTest, LogErrorGivesUpQuietlyWhileAnotherWriterHoldsTheCache)
{
    db.reset();
    db = std::make_unique<StorageDatabase>(path(), StorageDatabase::Opening{.busyTimeout = 20ms});
    SQLiteConnection other(path());
    other.execute("BEGIN IMMEDIATE;");
    db->logError("/x", "m");   // waits out the busy timeout, then drops the entry
    other.execute("COMMIT;");
    EXPECT_TRUE(db->recentErrors(5).empty());
}

TEST_F(StorageDatabaseTest, BatchRecoversWhenSQLiteRollsTheWholeTransactionBack)
{
    scanTree("/r", {{.path = "/r", .files = {file("old", 1)}}, {.path = "/r/keep", .files = {file("k", 2)}}});
    // SQLite itself undoes the whole open transaction on this insert, as it does on a full
    // disk or an I/O error.
    executeOutside("CREATE TRIGGER lose BEFORE INSERT ON files WHEN NEW.name = 'boom' "
                   "BEGIN SELECT RAISE(ROLLBACK, 'lost'); END;");

    auto scan = db->startScan({"/r"});
    const auto rootID = scan.ensureRoot("/r", 1.0);
    auto root = folder("/r", std::nullopt, 0, {file("old", 1), file("boom", 3)}, {"keep"});
    root.folderID = rootID;
    EXPECT_EQ(sqliteFailure([&] { scan.syncDirectory(root); }).description(),
              "SQLite error 19: lost");

    // Readers and writers go on instead of failing with "no transaction is active".
    EXPECT_EQ(db->totals().fileCount, 2);
    db->logError("/r", "after the loss");
    EXPECT_EQ(db->recentErrors(1).at(0).message, "after the loss");

    // The scan lost writes, so finishing it completed must not drop what it did not revisit.
    scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}});
    EXPECT_TRUE(db->folder("/r/keep"));
    EXPECT_EQ(db->totals().fileCount, 2);
}

TEST_F(StorageDatabaseTest, ActorSerializesConcurrentCallers)
{
    auto scan = db->startScan({"/c"});
    std::vector<std::jthread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < 25; ++i) {
                const auto name = "/c" + std::to_string(w) + "_" + std::to_string(i);
                scan.syncDirectory(folder(name, std::nullopt, 0, {file("f", 1)}));
                db->logError(name, "m");
                db->totals();
            }
        });
    }
    workers.clear();
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 100);
    EXPECT_EQ(db->recentErrors(1000).size(), 100u);
}

TEST_F(StorageDatabaseTest, CacheFileSizeAndClearing)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 4096)}}});
    db->logError("/r", "m");
    std::int64_t expected = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat info {};
        if (::stat((path() + suffix).c_str(), &info) == 0) expected += info.st_size;
    }
    EXPECT_GT(expected, 0);
    EXPECT_EQ(db->databaseFileSize(), expected);
    db->clearAll();
    EXPECT_TRUE(db->rootFolders().empty());
    EXPECT_TRUE(db->recentErrors(10).empty());
    EXPECT_FALSE(db->lastScan());
    EXPECT_EQ(committed("SELECT value FROM meta WHERE key = 'schema_version'"), 2);
    EXPECT_GT(db->startScan({"/r"}).id(), 0);

}

TEST_F(StorageDatabaseTest, TheLogIsFoldedBackIntoTheCacheWhileWritingGoesOn)
{
    // Limits a hundredth of the program's: a copy is asked for past 20 pages, and the writer
    // starts the log over itself past 320 pages (5 MB at 16 KiB pages). About 8 MB go through
    // the log in commits of 64 KB; without checkpoints it would hold all of it.
    const LogCheckpointer::Limits limits{.copy = 20, .restart = 320};
    constexpr std::int64_t pageSize = 16 * 1024;
    db.reset();
    db = std::make_unique<StorageDatabase>(path(), StorageDatabase::Opening{.logLimits = limits});
    const std::string message(16000, 'm');
    constexpr int entries = 500;
    for (int i = 1; i <= entries; ++i) {
        db->logError("/p" + std::to_string(i), message);
        if (i % 4 == 0) db->commit();
    }
    db->commit();
    const auto sizeOf = [](const std::string& file) {
        struct stat info {};
        return ::stat(file.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
    };
    EXPECT_LT(sizeOf(path() + "-wal"), (limits.restart + 40) * pageSize);
    // Copied into the cache file itself while the connection is open.
    const std::int64_t written = entries * static_cast<std::int64_t>(message.size());
    EXPECT_TRUE(eventually([&] { return sizeOf(path()) >= written / 2; })) << sizeOf(path());
    EXPECT_EQ(db->recentErrors(1).front().path, "/p" + std::to_string(entries));
}
