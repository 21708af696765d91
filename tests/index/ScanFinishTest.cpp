#include "index/FolderDigests.h"
#include "index/ScanCacheSchema.h"
#include "index/ScanFinish.h"
#include "index/ScanCacheTestSupport.h"
#include "support/CategorySums.h"

class ScanFinishTest : public ScanCacheFixture {};

TEST_F(ScanFinishTest, TotalsAreSubtreeSumsAfterTheFinish)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}},
                    {.path = "/r/a", .files = {file("b", 2)}},
                    {.path = "/r/a/b", .files = {file("c", 4)}},
                    {.path = "/r/z", .files = {}}});
    struct Expected { const char* path; std::int64_t alloc, files, dirs; };
    const Expected expected[] = {{.path = "/r", .alloc = 7, .files = 3, .dirs = 3},
                                 {.path = "/r/a", .alloc = 6, .files = 2, .dirs = 1},
                                 {.path = "/r/a/b", .alloc = 4, .files = 1, .dirs = 0},
                                 {.path = "/r/z", .alloc = 0, .files = 0, .dirs = 0}};
    for (const auto& e : expected) {
        const auto stored = db->folder(e.path);
        ASSERT_TRUE(stored) << e.path;
        EXPECT_EQ(stored->totalAllocated, e.alloc) << e.path;
        EXPECT_EQ(stored->fileCount, e.files) << e.path;
        EXPECT_EQ(stored->folderCount, e.dirs) << e.path;
    }
    const auto scan = db->lastScan();
    EXPECT_EQ(scan->status, ScanRecord::Status::completed);
    EXPECT_EQ(db->totals(), (ScanTotals{.fileCount = scan->fileCount,
                                        .folderCount = scan->folderCount,
                                        .allocatedBytes = scan->bytes,
                                        .restrictedFolders = 0}));
    EXPECT_EQ(db->totals(), (ScanTotals{.fileCount = 3,
                                        .folderCount = 4,
                                        .allocatedBytes = 7,
                                        .restrictedFolders = 0}));
    EXPECT_EQ(db->history(10).size(), 1u);

    // A second finish rewrites no folder row.
    executeOutside("CREATE TRIGGER frozen BEFORE UPDATE ON folders BEGIN SELECT RAISE(ABORT, 'frozen'); END;");
    EXPECT_EQ(db->finishScan(scan->id, {"/r"}, ScanRecord::Status::completed, 0, 0, 0, 0, 0),
              (ScanTotals{.fileCount = 3, .folderCount = 4, .allocatedBytes = 7, .restrictedFolders = 0}));
}

TEST_F(ScanFinishTest, EveryFolderOfALargeTreeGetsItsOwnTotals)
{
    // More folders than one statement updates at a time, each with figures of its own; the
    // second scan changes every third one only, so the rows written are not neighbours.
    const auto tree = [](int grow) {
        std::vector<Entry> entries = {{.path = "/r", .files = {file("top", 1)}}};
        for (int i = 0; i < 70; ++i) {
            const std::string child = "/r/c" + std::to_string(i);
            const std::int64_t alloc = 4096 * (i + 1) + (i % 3 == 0 ? grow : 0);
            entries.push_back({child, {file("f", alloc), file("g", 2 * alloc)}});
            entries.push_back({child + "/d", {file("h", alloc + 7)}});
        }
        return entries;
    };
    const auto check = [&](int grow) {
        std::int64_t all = 1;
        for (int i = 0; i < 70; ++i) {
            const std::string child = "/r/c" + std::to_string(i);
            SCOPED_TRACE(child);
            const std::int64_t alloc = 4096 * (i + 1) + (i % 3 == 0 ? grow : 0);
            const auto stored = db->folder(child);
            ASSERT_TRUE(stored);
            EXPECT_EQ(stored->totalAllocated, 4 * alloc + 7);
            EXPECT_EQ(stored->totalSize, 4 * alloc + 7 - 3);
            EXPECT_EQ(stored->fileCount, 3);
            EXPECT_EQ(stored->folderCount, 1);
            EXPECT_EQ(db->folder(child + "/d")->totalAllocated, alloc + 7);
            all += 4 * alloc + 7;
        }
        EXPECT_EQ(db->folder("/r")->totalAllocated, all);
        EXPECT_EQ(db->folder("/r")->folderCount, 140);
    };
    scanTree("/r", tree(0));
    check(0);
    scanTree("/r", tree(512));
    check(512);
}

TEST_F(ScanFinishTest, TotalsHoldThroughPrunedFoldersAFormerRootAndAFolderWhoseParentIsGone)
{
    const auto tree = [](int every) {
        std::vector<Entry> entries = {{.path = "/r", .files = {file("top", 1)}}};
        for (int i = 0; i < 40; ++i) {
            if (i % every != 0) continue;
            const std::string child = "/r/c" + std::to_string(i);
            entries.push_back({child, {file("f", 4096 * (i + 1))}});
            entries.push_back({child + "/d", {file("g", 7)}});
        }
        return entries;
    };
    const auto expectTotals = [&](int every) {
        std::int64_t all = 1, folders = 0;
        for (int i = 0; i < 40; ++i) {
            const std::string child = "/r/c" + std::to_string(i);
            SCOPED_TRACE(child);
            const auto stored = db->folder(child);
            ASSERT_EQ(stored.has_value(), i % every == 0);
            if (!stored) continue;
            EXPECT_EQ(stored->totalAllocated, 4096 * (i + 1) + 7);
            EXPECT_EQ(stored->folderCount, 1);
            all += 4096 * (i + 1) + 7;
            folders += 2;
        }
        EXPECT_EQ(db->folder("/r")->totalAllocated, all);
        EXPECT_EQ(db->totals(), (ScanTotals{.fileCount = 1 + folders,
                                            .folderCount = folders + 1,
                                            .allocatedBytes = all,
                                            .restrictedFolders = 0}));
    };

    scanTree("/r", tree(1));
    expectTotals(1);
    // A former root that only a share past the first holds is left unvisited and goes.
    scanTree("/opt", {{.path = "/opt", .files = {file("o", 8)}},
                      {.path = "/opt/x", .files = {file("p", 8)}}}, ScanRecord::Status::cancelled);
    scanTree("/r", tree(3));
    EXPECT_FALSE(db->folder("/opt/x"));
    expectTotals(3);

    // A visited row whose parent is gone, at the far end of the ids.
    executeOutside("INSERT INTO folders(id, parent_id, path, name, scan_id, direct_alloc) VALUES(987653, 987000, "
                   "'/r/lost', 'lost', " + std::to_string(db->lastScan()->id + 1) + ", 64)");
    scanTree("/r", tree(6));
    EXPECT_FALSE(db->folder("/r/lost"));
    expectTotals(6);
}

TEST_F(ScanFinishTest, OnlyACompletedScanPrunes)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}, {.path = "/r/old", .files = {file("b", 2)}}});
    scanTree("/opt", {{.path = "/opt", .files = {file("o", 8)}},
                      {.path = "/opt/x", .files = {file("p", 8)}}}, ScanRecord::Status::cancelled);

    // Neither /r/old nor the former root /opt is visited by these scans.
    struct Case { ScanRecord::Status status; bool pruned; };
    const Case cases[] = {{.status = ScanRecord::Status::cancelled, .pruned = false},
                          {.status = ScanRecord::Status::failed, .pruned = false},
                          {.status = ScanRecord::Status::completed, .pruned = true}};
    for (const auto& c : cases) {
        const auto historyBefore = db->history(100).size();
        auto scan = db->startScan({"/r"});
        auto root = folder("/r", std::nullopt, 0, {file("a", 1)}, {"old"});
        root.folderID = scan.ensureRoot("/r", 1.0);
        scan.syncDirectory(root);
        const auto totals = scan.finish({.status = c.status, .roots = {"/r"}, .volumeTotal = 100, .volumeUsed = 50}).totals;
        const std::string label(rawValue(c.status));
        EXPECT_EQ(db->folder("/r/old").has_value(), !c.pruned) << label;
        EXPECT_EQ(db->folder("/opt/x").has_value(), !c.pruned) << label;
        EXPECT_EQ(totals.allocatedBytes, c.pruned ? 1 : 1 + 2 + 16) << label;
        EXPECT_EQ(db->history(100).size(), historyBefore + (c.pruned ? 1 : 0)) << label;
        const auto record = db->lastScan();
        EXPECT_EQ(record->status, c.status) << label;
        EXPECT_TRUE(record->finished) << label;
        EXPECT_EQ(db->categoryTotals().at(0).bytes, totals.allocatedBytes) << label;
    }
    const auto point = db->history(1).at(0);
    EXPECT_EQ(point.volumeTotal, 100);
    EXPECT_EQ(point.volumeUsed, 50);
    EXPECT_EQ(point.scannedBytes, 1);
}

TEST_F(ScanFinishTest, AFolderWithAMissingParentAddsNothingUpward)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}});
    auto scan = db->startScan({"/r"});
    scan.syncDirectory(folder("/r/lost", 424242, 1, {file("l", 64)}));
    scan.finish({.status = ScanRecord::Status::cancelled, .roots = {"/r"}});
    EXPECT_EQ(db->folder("/r/lost")->totalAllocated, 64);
    EXPECT_EQ(db->folder("/r")->totalAllocated, 1);
}

TEST_F(ScanFinishTest, TheFinishCountsOnlyTreesThatReachARootAndWritesTheAllocatedTotalOnlyWhereItMoved)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 4096)}},
                    {.path = "/r/s", .files = {file("b", 4096)}},
                    {.path = "/r/t", .files = {}}});
    auto scan = db->startScan({"/r"});
    const auto rootID = scan.ensureRoot("/r", 1.0);
    // A folder whose parent row is gone, and a folder that cannot be read.
    scan.syncDirectory(folder("/r/lost", 424242, 1, {file("l", 8192)}));
    auto refused = folder("/r/t", rootID, 1);
    refused.isRestricted = true;
    refused.folderID = db->folder("/r/t")->id;
    scan.syncDirectory(refused);
    // One byte more in /r/s: the sizes move up the tree, the allocated totals stay.
    auto grown = folder("/r/s", rootID, 1, {file("b", 4096)});
    grown.files[0].size += 1;
    grown.folderID = db->folder("/r/s")->id;
    scan.syncDirectory(grown);
    db->commit();
    executeOutside("CREATE TRIGGER steady AFTER UPDATE OF total_alloc ON folders WHEN NEW.path <> '/r/lost' "
                   "BEGIN SELECT RAISE(ABORT, 'total_alloc rewritten'); END;");

    const auto totals = scan.finish({.status = ScanRecord::Status::cancelled, .roots = {"/r"}}).totals;
    EXPECT_EQ(totals, (ScanTotals{.fileCount = 2, .folderCount = 3, .allocatedBytes = 8192, .restrictedFolders = 1}));
    EXPECT_EQ(totals, db->totals());
    EXPECT_EQ(db->folder("/r")->totalSize, 4095 + 4096);
    EXPECT_EQ(db->folder("/r/lost")->totalAllocated, 8192);
}

TEST_F(ScanFinishTest, TheFinishLeavesNoFileWithoutItsFolderAndCategoriesAddUpLikeTheFolders)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}, {.path = "/r/a", .files = {file("b", 2)}}});
    // Rows left by a batch that was lost half way: files of a folder row that is gone, and
    // a folder whose parent row is gone.
    const auto stray = [&] {
        writeRowsOutside("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, category) "
                         "VALUES(999999, 'ghost.iso', 'iso', 5000000, 5000000, 5000000, 0);");
        writeRowsOutside("INSERT INTO folders(parent_id, path, name, depth, direct_alloc, total_alloc) "
                         "VALUES(424242, '/elsewhere/orphan', 'orphan', 3, 64, 64);");
        writeRowsOutside("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, category) "
                         "SELECT id, 'o', '', 64, 64, 64, 0 FROM folders WHERE path = '/elsewhere/orphan';");
    };
    const auto categoryBytes = [&] {
        std::int64_t sum = 0;
        for (const auto& usage : db->categoryTotals()) sum += usage.bytes;
        return sum;
    };

    // Any finish drops the files without a folder.
    stray();
    auto scan = db->startScan({"/r"});
    scan.finish({.status = ScanRecord::Status::cancelled, .roots = {"/r"}});
    EXPECT_EQ(db->largestFiles(10).size(), 3u);   // a, b and the orphan folder's file

    // A completed one also drops the folders no tree reaches, so that the categories count
    // exactly the files the roots' totals count.
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}, {.path = "/r/a", .files = {file("b", 2)}}});
    EXPECT_FALSE(db->folder("/elsewhere/orphan").has_value());
    EXPECT_EQ(db->largestFiles(10).size(), 2u);
    EXPECT_EQ(categoryBytes(), db->folder("/r")->totalAllocated);
    EXPECT_EQ(categoryBytes(), 3);
}

TEST_F(ScanFinishTest, AScanOfAFolderInsideAFormerRootKeepsThatFolder)
{
    const std::vector<Entry> whole = {{.path = "/r", .files = {file("a", 1)}},
                                      {.path = "/r/a", .files = {file("b", 2)}},
                                      {.path = "/r/a/b", .files = {file("c", 4)}},
                                      {.path = "/r/a/b/c", .files = {file("d", 8)}},
                                      {.path = "/r/a/bb", .files = {file("e", 16)}}};
    scanTree("/r", whole);
    const auto scanID = scanTree("/r/a/b", {{.path = "/r/a/b", .files = {file("c", 4)}},
                                            {.path = "/r/a/b/c", .files = {file("d", 8)}}});

    struct Expected { const char* path; bool kept; };
    const Expected expected[] = {{.path = "/r", .kept = false},
                                 {.path = "/r/a", .kept = false},
                                 {.path = "/r/a/bb", .kept = false},
                                 {.path = "/r/a/b", .kept = true},
                                 {.path = "/r/a/b/c", .kept = true}};
    for (const auto& e : expected) EXPECT_EQ(db->folder(e.path).has_value(), e.kept) << e.path;
    const auto root = db->folder("/r/a/b");
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->parentID);
    EXPECT_EQ(root->totalAllocated, 12);
    EXPECT_EQ(root->fileCount, 2);
    EXPECT_EQ(db->totals(), (ScanTotals{.fileCount = 2,
                                        .folderCount = 2,
                                        .allocatedBytes = 12,
                                        .restrictedFolders = 0}));
    const auto scan = db->lastScan();
    EXPECT_EQ(scan->id, scanID);
    EXPECT_EQ(scan->fileCount, 2);
    EXPECT_EQ(db->history(1).at(0).scannedBytes, 12);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 2);
    EXPECT_EQ(committed("SELECT SUM(bytes) FROM category_totals"), 12);

    // Scanning the outer folder again takes the inner one back below it.
    scanTree("/r", whole);
    EXPECT_EQ(db->folder("/r/a/b")->parentID, db->folder("/r/a")->id);
    EXPECT_EQ(db->totals(), (ScanTotals{.fileCount = 5,
                                        .folderCount = 5,
                                        .allocatedBytes = 31,
                                        .restrictedFolders = 0}));
}

TEST_F(ScanFinishTest, CategoryTotalsHoldExactlyTheRowsOfAGroupingOverTheFiles)
{
    auto doc = file("d.pdf", 100);
    doc.category = StorageCategory::documents;
    auto linked = file("l.pdf", 50);
    linked.category = StorageCategory::documents;
    linked.countedAllocatedSize = 0;
    auto photo = file("p.jpg", 7);
    photo.category = StorageCategory::photos;
    scanTree("/r", {{.path = "/r", .files = {doc, linked, photo, file("x", 3)}},
                    {.path = "/r/s", .files = {file("y", 5)}}});
    writeRowsOutside("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, category) "
                     "VALUES(1, 'odd', '', 1, 1, 9, 977)");   // a category no build knows
    auto scan = db->startScan({"/r"});
    scan.finish({.status = ScanRecord::Status::cancelled, .roots = {"/r"}});

    const CategorySums sums = categorySums(path());
    EXPECT_EQ(sums.stored, sums.ofFileRows);
    EXPECT_EQ(sums.stored.size(), 4u);
}

namespace {

const std::string schemaSQL = "SELECT type || ' ' || name || ' ' || IFNULL(sql, '') FROM sqlite_master ORDER BY name";

} // namespace

TEST_F(ScanFinishTest, AFirstScanLoadsWithoutItsUnorderedIndexesAndEndsWithTheWholeSchema)
{
    const auto full = committedTexts(schemaSQL);
    // Tables, indexes, those of meta.key and folders.path, the folder digests' table and triggers.
    ASSERT_EQ(full.size(), 7u + 8u + 2u + 1u + 7u);
    struct Case {
        const char* what;
        bool filesBefore;
        bool finish;   // else the program stops before the finish and opens the cache again
    };
    const Case cases[] = {{.what = "empty cache", .filesBefore = false, .finish = true},
                          {.what = "cache with files", .filesBefore = true, .finish = true},
                          {.what = "stopped before the finish", .filesBefore = false, .finish = false}};
    for (const auto& c : cases) {
        db->clearAll();
        if (c.filesBefore) scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}});
        auto scan = db->startScan({"/r"});
        EXPECT_EQ(scan.beginBulkLoad(), !c.filesBefore) << c.what;
        EXPECT_FALSE(scan.beginBulkLoad()) << c.what;
        EXPECT_EQ(committedTexts(schemaSQL).size(),
                  full.size() - (c.filesBefore ? 0
                                               : ScanCacheSchema::bulkLoadIndexes.size() +
                                                     FolderDigests::bulkLoadDroppedTriggers))
            << c.what;
        auto root = folder("/r", std::nullopt, 0, {file("a", 1), file("b", 2)});
        root.folderID = scan.ensureRoot("/r", 1.0);
        scan.syncDirectory(root);
        if (c.finish) {
            EXPECT_EQ(scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}}).totals,
                      (ScanTotals{.fileCount = 2, .folderCount = 1, .allocatedBytes = 3, .restrictedFolders = 0}))
                << c.what;
        } else {
            db->commit();
            reopen();
        }
        // Built behind the finish, or behind the opening.
        db->waitForIndexes();
        EXPECT_EQ(committedTexts(schemaSQL), full) << c.what;
        EXPECT_EQ(db->largestFiles(10).size(), 2u) << c.what;
    }
}

TEST_F(ScanFinishTest, AFirstScanWhoseFinishFailsAfterTheIndexesStillGetsThemFromTheNextFinish)
{
    const auto full = committedTexts(schemaSQL);
    // A write that fails once the indexes are built, as on a disk that fills up there.
    executeOutside("CREATE TRIGGER no_room BEFORE INSERT ON history BEGIN SELECT RAISE(ABORT, 'no room'); END;");
    auto scan = db->startScan({"/r"});
    ASSERT_TRUE(scan.beginBulkLoad());
    auto root = folder("/r", std::nullopt, 0, {file("a", 1), file("b", 2)});
    root.folderID = scan.ensureRoot("/r", 1.0);
    scan.syncDirectory(root);
    EXPECT_THROW(scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}}), SQLiteError);

    executeOutside("DROP TRIGGER no_room;");
    scanTree("/r", {{.path = "/r", .files = {file("a", 1), file("b", 2)}}});
    db->waitForIndexes();
    EXPECT_EQ(committedTexts(schemaSQL), full);
}

TEST_F(ScanFinishTest, FileRowsWhoseFolderIsGoneLeaveWithTheFinishAndCountInNoCategory)
{
    for (const auto status : {ScanRecord::Status::cancelled, ScanRecord::Status::completed}) {
        db->clearAll();
        auto photo = file("p.jpg", 7);
        photo.category = StorageCategory::photos;
        scanTree("/r", {{.path = "/r", .files = {file("a", 1), photo}}, {.path = "/r/s", .files = {file("b", 2)}}});
        // Rows left by a removal that stopped half way: their folders are gone, one of them
        // with an id between those of live folders.
        writeRowsOutside("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, category) VALUES"
                         "(987654, 'x', '', 5, 5, 5, 5), (987654, 'y', '', 6, 6, 6, 0),"
                         "((SELECT MAX(id) FROM folders) - 0, 'z', '', 1, 1, 1, 0);"
                         "DELETE FROM folders WHERE path = '/r/s';"
                         "INSERT INTO folders(id, parent_id, path, name) VALUES(987653, 1, '/r/t', 't');");
        if (status == ScanRecord::Status::completed) {
            scanTree("/r", {{.path = "/r", .files = {file("a", 1), photo}}});
        } else {
            auto scan = db->startScan({"/r"});
            scan.finish({.status = status, .roots = {"/r"}});
        }
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 2) << rawValue(status);
        EXPECT_EQ(db->totals().fileCount, 2) << rawValue(status);
        const std::vector<CategoryUsage> expected = {{.category = StorageCategory::photos, .bytes = 7, .fileCount = 1},
                                                     {.category = StorageCategory::other, .bytes = 1, .fileCount = 1}};
        EXPECT_EQ(db->categoryTotals(), expected) << rawValue(status);
    }
}

TEST_F(ScanFinishTest, CategoriesStayWhenNothingChangedAndAreTakenAgainAfterChangesAStoppedScanStored)
{
    auto photo = file("p.jpg", 7);
    photo.category = StorageCategory::photos;
    const auto categories = [&](std::int64_t photoBytes) {
        return std::vector<CategoryUsage>{{.category = StorageCategory::photos, .bytes = photoBytes, .fileCount = 1},
                                          {.category = StorageCategory::other, .bytes = 1, .fileCount = 1}};
    };
    scanTree("/r", {{.path = "/r", .files = {file("a", 1), photo}}});
    scanTree("/r", {{.path = "/r", .files = {file("a", 1), photo}}});
    EXPECT_EQ(db->categoryTotals(), categories(7));

    // A scan that stored a change and ended before its finish, as when the program is killed.
    auto stopped = db->startScan({"/r"});
    photo.size = 69;
    photo.allocatedSize = photo.countedAllocatedSize = 70;
    auto snapshot = folder("/r", std::nullopt, 0, {file("a", 1), photo});
    snapshot.folderID = db->folder("/r")->id;
    stopped.syncDirectory(snapshot);
    db->commit();
    reopen();

    // The next scan meets nothing new, yet counts what the stopped one stored.
    scanTree("/r", {{.path = "/r", .files = {file("a", 1), photo}}});
    EXPECT_EQ(db->categoryTotals(), categories(70));
    EXPECT_EQ(db->folder("/r")->totalAllocated, 71);

    // A removal between scans counts too.
    db->removeItem("/r/p.jpg");
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}});
    EXPECT_EQ(db->categoryTotals(), (std::vector<CategoryUsage>{{.category = StorageCategory::other,
                                                                 .bytes = 1,
                                                                 .fileCount = 1}}));
}

TEST_F(ScanFinishTest, AFolderWhoseParentIdMatchesNoFolderIsAnOrphanEvenAtZero)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}});
    // Stamped by the coming scan, so that only its missing parent marks it.
    writeRowsOutside("INSERT INTO folders(parent_id, path, name, depth, direct_alloc, total_alloc, scan_id) "
                     "VALUES(0, '/elsewhere/zero', 'zero', 1, 5, 5, (SELECT MAX(id) + 1 FROM scans));");
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}});
    EXPECT_FALSE(db->folder("/elsewhere/zero").has_value());
    EXPECT_EQ(db->totals().allocatedBytes, 1);
}

TEST_F(ScanFinishTest, NotedCategoryChangesAddToTheStoredSumsOrAreRefusedWhenTheyCannotBeTheRows)
{
    SQLiteConnection db(path());
    db.execute("DELETE FROM category_totals; INSERT INTO category_totals VALUES(1, 100, 2), (2, 50, 1);");
    using Changes = WriteBatch::CategoryChanges;
    const auto stored = [&] {
        std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>> result;
        db.query("SELECT category, bytes, files FROM category_totals ORDER BY category", {},
                 [&](SQLiteConnection::Statement& r) { result.emplace_back(r.integer(0), r.integer(1), r.integer(2)); });
        return result;
    };
    using Rows = std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>>;

    // A category emptied goes, a new one comes.
    ASSERT_TRUE(ScanFinish::addCategoryChanges(db, false, Changes{{1, {-30, 1}}, {2, {-50, -1}}, {7, {9, 1}}}));
    EXPECT_EQ(stored(), (Rows{{1, 70, 3}, {7, 9, 1}}));
    // From nothing, the stored sums do not count.
    ASSERT_TRUE(ScanFinish::addCategoryChanges(db, true, Changes{{3, {5, 2}}}));
    EXPECT_EQ(stored(), (Rows{{3, 5, 2}}));
    // Fewer than no files, or bytes without a file: the table stays as it was.
    EXPECT_FALSE(ScanFinish::addCategoryChanges(db, false, Changes{{3, {-5, -3}}}));
    EXPECT_FALSE(ScanFinish::addCategoryChanges(db, false, Changes{{3, {-4, -2}}}));
    EXPECT_EQ(stored(), (Rows{{3, 5, 2}}));
}
