#include "index/PendingFolderRows.h"
#include "index/ScanCacheTestSupport.h"

#include <algorithm>
#include <functional>
#include <sqlite3.h>

using namespace std::chrono_literals;

TEST(PendingFolderRowsTest, RowsWaitUnderIdsInSequenceAndGoInBareInThatOrder)
{
    SQLiteConnection db(":memory:");
    db.execute("CREATE TABLE folders(id INTEGER PRIMARY KEY, parent_id INTEGER, path TEXT NOT NULL UNIQUE, "
               "name TEXT NOT NULL, depth INTEGER, modified REAL);");
    PendingFolderRows rows;
    EXPECT_FALSE(rows.mayWait("/r/a"));
    EXPECT_EQ(rows.nextID(), std::nullopt);

    rows.start(7, {"/r", "/r/old"});
    EXPECT_FALSE(rows.mayWait("/r/old"));
    EXPECT_TRUE(rows.mayWait("/r/a"));
    EXPECT_EQ(rows.add(7, "/r/a", 1, 1, 10.0), 8);
    EXPECT_EQ(rows.nextID(), 9);
    rows.used(9);   // a row inserted at once between them
    EXPECT_EQ(rows.add(7, "/r/bb", 2, 1, 20.0), 10);
    EXPECT_EQ(rows.add(8, "/r/a/c", 1, 2, 30.0), 11);
    ASSERT_TRUE(rows.waiting(10));
    EXPECT_EQ(rows.waiting(10)->name(), "bb");
    EXPECT_FALSE(rows.waiting(9));
    rows.inserted(10);   // by its own sync
    EXPECT_FALSE(rows.waiting(10));

    rows.insertAll(db);
    EXPECT_TRUE(rows.empty());
    std::vector<std::string> stored;
    db.query("SELECT id || ' ' || parent_id || ' ' || path || ' ' || name || ' ' || depth || ' ' || modified "
             "FROM folders ORDER BY id",
             {}, [&](SQLiteConnection::Statement& row) { stored.push_back(row.text(0)); });
    EXPECT_EQ(stored, (std::vector<std::string>{"8 7 /r/a a 1 10.0", "11 8 /r/a/c c 2 30.0"}));
    rows.insertAll(db);   // nothing twice
    EXPECT_EQ(db.scalarInt("SELECT COUNT(*) FROM folders"), 2);

    // A lost batch takes every id given since the last commit, waiting or not.
    rows.committed();
    const auto kept = rows.add(7, "/r/d", 1, 1, 0);
    rows.committed();
    const auto gone = rows.add(7, "/r/e", 1, 1, 0);
    rows.lost();
    EXPECT_FALSE(rows.waiting(gone));
    EXPECT_TRUE(rows.wasLost(gone));
    EXPECT_FALSE(rows.wasLost(kept));
    EXPECT_FALSE(rows.wasLost(8));
    EXPECT_EQ(rows.add(7, "/r/f", 1, 1, 0), gone + 1);   // never given twice
}

namespace {

// A first scan driven by hand, folder by folder, as the scanner syncs it.
class PendingFolderRowsSyncTest : public ScanCacheFixture {
protected:
    // Starts a scan of /r into the emptied cache; with `firstScan`, as the scanner starts a
    // first one.
    std::int64_t begin(bool firstScan = true)
    {
        db->clearAll();
        scan = db->startScan({"/r"});
        if (firstScan) {
            EXPECT_TRUE(scan->beginBulkLoad());
        }
        rootID = scan->ensureRoot("/r", 1.0);
        return scan->id();
    }

    DirectorySyncResult syncRoot(std::vector<ScannedFile> files, std::vector<std::string> subfolders)
    {
        auto root = folder("/r", std::nullopt, 0, std::move(files), std::move(subfolders));
        root.folderID = rootID;
        root.holdsNoFiles = true;
        return scan->syncDirectory(root);
    }

    // The subfolder `name` of a folder synced with `parent`, with the id that sync gave it.
    static DirectorySnapshot child(const DirectorySyncResult& parent, const std::string& parentPath, int depth,
                                   const std::string& name, std::vector<ScannedFile> files = {},
                                   std::vector<std::string> subfolders = {})
    {
        auto snapshot =
            folder(parentPath + "/" + name, parent.folderID, depth, std::move(files), std::move(subfolders));
        const auto& made = parent.newChildIDs;
        snapshot.folderID = parent.childIDs.at(name);
        snapshot.isNewRow = std::binary_search(made.begin(), made.end(), *snapshot.folderID);
        snapshot.holdsNoFiles = true;
        return snapshot;
    }

    // Every committed folder row, all its columns but the time of writing, by path.
    std::map<std::string, std::string> folderRows()
    {
        SQLiteConnection observer(path());
        std::map<std::string, std::string> rows;
        observer.query("SELECT d.path, d.id, IFNULL(p.path, '-'), d.name, d.depth, d.modified, d.restricted, "
                       "d.scan_id, d.scanned_at IS NULL, d.category, d.direct_alloc, d.direct_size, d.direct_files, "
                       "d.direct_dirs, d.total_alloc, d.total_size, d.total_files, d.total_dirs "
                       "FROM folders d LEFT JOIN folders p ON p.id = d.parent_id",
                       {}, [&](SQLiteConnection::Statement& row) {
                           std::string text;
                           for (int column = 1; column < 18; ++column) text += row.text(column) + " ";
                           rows[row.text(0)] = text;
                       });
        return rows;
    }

    std::int64_t rowsAt(const std::string& folderPath)
    {
        return committed("SELECT COUNT(*) FROM folders WHERE path = '" + folderPath + "'");
    }

    std::optional<ScanSession> scan;
    std::int64_t rootID = 0;
};

} // namespace

TEST_F(PendingFolderRowsSyncTest, EachNewRowGoesInOnceHoldingWhatTheInsertAndUpdateBeforeLeft)
{
    // The same walk, written with rows that wait and with rows inserted bare and then updated.
    std::map<std::string, std::string> beforeFinish[2];
    std::map<std::string, std::string> afterFinish[2];
    for (const bool firstScan : {true, false}) {
        SCOPED_TRACE(firstScan);
        begin(firstScan);
        if (firstScan) {
            db->commit();
            executeOutside("CREATE TRIGGER once BEFORE UPDATE ON folders WHEN OLD.parent_id IS NOT NULL "
                           "BEGIN SELECT RAISE(ABORT, 'written twice'); END;");
        }
        const auto root = syncRoot({file("x", 100)}, {"a", "b"});
        auto aFolder = child(root, "/r", 1, "a", {file("y", 4096), file("z", 8192)}, {"c"});
        aFolder.isRestricted = true;
        aFolder.category = StorageCategory::photos;
        aFolder.modified = 777.0;
        const auto a = scan->syncDirectory(aFolder);
        scan->syncDirectory(child(root, "/r", 1, "b", {file("w", 1)}, {"never-read"}));
        scan->syncDirectory(child(a, "/r/a", 2, "c"));
        db->commit();
        beforeFinish[firstScan] = folderRows();
        if (firstScan) executeOutside("DROP TRIGGER once;");
        scan->finish({.status = ScanRecord::Status::cancelled, .roots = {"/r"}});
        afterFinish[firstScan] = folderRows();
    }
    EXPECT_EQ(beforeFinish[true].size(), 5u);
    EXPECT_EQ(beforeFinish[true], beforeFinish[false]);
    EXPECT_EQ(afterFinish[true], afterFinish[false]);
}

TEST_F(PendingFolderRowsSyncTest, WhateverReadsFolderRowsMidScanFindsARowForEveryListedSubfolder)
{
    DirectorySyncResult root;
    struct Case {
        const char* what;
        std::function<void()> read;
        bool cWhole;   // c's own sync came first
    };
    const Case cases[] = {
        {.what = "a commit while the writer waits", .read = [&] { db->commit(); }, .cWhole = false},
        {.what = "a screen's query",
         .read = [&] { EXPECT_EQ(db->childFolders(rootID, 10).size(), 3u); },
         .cWhole = false},
        {.what = "a resumed scan's look at a folder it synced",
         .read = [&] {
             const auto visited = scan->visitedChildren(rootID);
             ASSERT_TRUE(visited);
             EXPECT_EQ(visited->children.size(), 3u);
             db->commit();
         },
         .cWhole = false},
        {.what = "a file removed", .read = [&] { db->removeItem("/r/x"); }, .cWhole = false},
        {.what = "a batch come due at another folder's sync",
         .read = [&] {
             clock += 1001ms;
             scan->syncDirectory(child(root, "/r", 1, "c"));
         },
         .cWhole = true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        begin();
        root = syncRoot({file("x", 100)}, {"a", "b", "c"});
        c.read();
        for (const char* name : {"a", "b"}) {
            const std::string row = " FROM folders WHERE path = '/r/" + std::string(name) + "'";
            EXPECT_EQ(committed("SELECT COUNT(*)" + row), 1) << name;
            EXPECT_EQ(committed("SELECT parent_id" + row), rootID) << name;
            EXPECT_EQ(committed("SELECT depth" + row), 1) << name;
            EXPECT_EQ(committed("SELECT modified = 600.0" + row), 1) << name;   // the listing's date
            EXPECT_EQ(committed("SELECT scan_id" + row), 0) << name;            // not visited yet
        }
        EXPECT_EQ(committed("SELECT scan_id FROM folders WHERE path = '/r/c'"), c.cWhole ? scan->id() : 0);

        // A row inserted bare is completed by its own sync, as before.
        scan->syncDirectory(child(root, "/r", 1, "a", {file("y", 4096)}));
        db->commit();
        EXPECT_EQ(rowsAt("/r/a"), 1);
        EXPECT_EQ(committed("SELECT scan_id FROM folders WHERE path = '/r/a'"), scan->id());
        EXPECT_EQ(committed("SELECT total_alloc FROM folders WHERE path = '/r/a'"), 4096);
        EXPECT_EQ(committed("SELECT modified FROM folders WHERE path = '/r/a'"), 500);
        scan->finish({.status = ScanRecord::Status::cancelled, .roots = {"/r"}});
    }
}

TEST_F(PendingFolderRowsSyncTest, ASubfolderAtTheSamePathAsAStoredRootMovesUnderItsParentWithItsID)
{
    struct Case {
        const char* what;
        bool withSubfolderRow;   // the former root's own subfolder is stored too
    };
    for (const auto& c : {Case{.what = "only root rows stored", .withSubfolderRow = false},
                          Case{.what = "a subfolder row stored", .withSubfolderRow = true}}) {
        SCOPED_TRACE(c.what);
        db->clearAll();
        // A former scan of /r/a, which held no files: the next scan is a first one still.
        auto former = db->startScan({"/r/a"});
        auto formerRoot = folder("/r/a", std::nullopt, 0, {}, c.withSubfolderRow ? std::vector<std::string>{"k"}
                                                                                  : std::vector<std::string>{});
        formerRoot.folderID = former.ensureRoot("/r/a", 1.0);
        former.syncDirectory(formerRoot);
        former.finish({.status = ScanRecord::Status::completed, .roots = {"/r/a"}});
        const auto formerID = db->folder("/r/a")->id;

        scan = db->startScan({"/r"});
        ASSERT_TRUE(scan->beginBulkLoad());
        rootID = scan->ensureRoot("/r", 1.0);
        const auto root = syncRoot({}, {"a", "b"});
        EXPECT_EQ(root.childIDs.at("a"), formerID);
        EXPECT_EQ(root.newChildIDs, std::vector<std::int64_t>{root.childIDs.at("b")});
        EXPECT_GT(root.childIDs.at("b"), std::max(formerID, rootID));
        scan->syncDirectory(child(root, "/r", 1, "a", {file("y", 10)}));
        scan->syncDirectory(child(root, "/r", 1, "b", {file("z", 20)}));
        scan->finish({.status = ScanRecord::Status::completed, .roots = {"/r"}});

        const auto moved = db->folder("/r/a");
        ASSERT_TRUE(moved);
        EXPECT_EQ(moved->parentID, rootID);
        EXPECT_EQ(committed("SELECT depth FROM folders WHERE path = '/r/a'"), 1);
        EXPECT_EQ(db->folder("/r/b")->totalAllocated, 20);
        EXPECT_EQ(db->folder("/r")->totalAllocated, 30);
        EXPECT_EQ(committed("SELECT COUNT(*) FROM folders"), 3);   // the unvisited /r/a/k went
    }
}

TEST_F(PendingFolderRowsSyncTest, AFailedWriteLeavesNoWaitingRowTakenForWrittenAndNoneWrittenTwice)
{
    struct Case {
        const char* what;
        const char* trigger;
        bool batchLost;
        bool commitFails;
        std::int64_t rowsOfA;   // committed at the end
    };
    const Case cases[] = {
        // SQLite undoes the whole open batch, as on a full disk or an I/O error.
        {.what = "the batch lost at a file of a's", .trigger = "BEFORE INSERT ON files WHEN NEW.name = 'boom' "
                                            "BEGIN SELECT RAISE(ROLLBACK, 'lost'); END;",
         .batchLost = true, .commitFails = false, .rowsOfA = 0},
        // Only that statement is undone: a's row waits still and goes in bare.
        {.what = "a's whole row refused", .trigger = "BEFORE INSERT ON folders WHEN NEW.name = 'a' AND NEW.scan_id <> 0 "
                                  "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
         .batchLost = false, .commitFails = false, .rowsOfA = 1},
        // Then its parent's sync cannot be committed without it: the batch goes.
        {.what = "every row of a's refused", .trigger = "BEFORE INSERT ON folders WHEN NEW.name = 'a' "
                                     "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
         .batchLost = true, .commitFails = true, .rowsOfA = 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        db->clearAll();
        executeOutside(std::string("CREATE TRIGGER failing ") + c.trigger);
        begin();
        db->commit();
        const auto lostBefore = scan->lostBatches();
        const auto root = syncRoot({file("x", 1)}, {"a", "b"});
        EXPECT_THROW(scan->syncDirectory(child(root, "/r", 1, "a", {file("boom", 5)}, {"inner"})), SQLiteError);
        if (c.commitFails) {
            EXPECT_THROW(db->commit(), SQLiteError);
        } else {
            db->commit();
        }
        EXPECT_EQ(scan->lostBatches() - lostBefore, c.batchLost ? 1u : 0u);
        const auto b = child(root, "/r", 1, "b", {file("f", 7)});
        if (c.batchLost) {
            // b's row went with the batch: its sync must not act as if it were there.
            EXPECT_THROW(scan->syncDirectory(b), SQLiteError);
        } else {
            scan->syncDirectory(b);
        }
        db->commit();
        EXPECT_EQ(rowsAt("/r/a"), c.rowsOfA);
        EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE path = '/r/a' AND scan_id = 0"), c.rowsOfA);
        EXPECT_EQ(rowsAt("/r/a/inner"), c.rowsOfA);
        EXPECT_EQ(rowsAt("/r/b"), c.batchLost ? 0 : 1);
        EXPECT_EQ(committed("SELECT COUNT(*) FROM (SELECT path FROM folders GROUP BY path HAVING COUNT(*) > 1)"), 0);
        EXPECT_EQ(committed("SELECT COUNT(*) FROM folders AS f WHERE parent_id IS NOT NULL AND "
                            "NOT EXISTS (SELECT 1 FROM folders AS p WHERE p.id = f.parent_id)"),
                  0);

        // The finish does not take the scan for whole, and a sync of the root gives the lost
        // subfolders rows again.
        scan->finish({.status = ScanRecord::Status::completed, .roots = {"/r"}});
        EXPECT_TRUE(db->folder("/r"));
        executeOutside("DROP TRIGGER failing;");
        scanTree("/r", {{.path = "/r", .files = {}},
                        {.path = "/r/a", .files = {file("y", 3)}},
                        {.path = "/r/b", .files = {}}});
        EXPECT_EQ(db->folder("/r")->totalAllocated, 3);
        EXPECT_EQ(rowsAt("/r/a"), 1);
    }
}
