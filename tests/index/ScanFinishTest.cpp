#include "index/ScanCacheSchema.h"
#include "index/ScanFinish.h"
#include "index/ScanCacheTestSupport.h"
#include "support/CategorySums.h"

TEST_F(ScanCacheTest, TotalsAreSubtreeSumsAfterTheFinish)
{
    scanTree("/r", {{"/r", {file("a", 1)}}, {"/r/a", {file("b", 2)}}, {"/r/a/b", {file("c", 4)}}, {"/r/z", {}}});
    struct Expected { const char* path; std::int64_t alloc, files, dirs; };
    const Expected expected[] = {{"/r", 7, 3, 3}, {"/r/a", 6, 2, 1}, {"/r/a/b", 4, 1, 0}, {"/r/z", 0, 0, 0}};
    for (const auto& e : expected) {
        const auto stored = db->folder(e.path);
        ASSERT_TRUE(stored) << e.path;
        EXPECT_EQ(stored->totalAllocated, e.alloc) << e.path;
        EXPECT_EQ(stored->fileCount, e.files) << e.path;
        EXPECT_EQ(stored->folderCount, e.dirs) << e.path;
    }
    const auto scan = db->lastScan();
    EXPECT_EQ(scan->status, ScanRecord::Status::completed);
    EXPECT_EQ(db->totals(), (ScanTotals{scan->fileCount, scan->folderCount, scan->bytes, 0}));
    EXPECT_EQ(db->totals(), (ScanTotals{3, 4, 7, 0}));
    EXPECT_EQ(db->history(10).size(), 1u);

    // A second finish rewrites no folder row.
    executeOutside("CREATE TRIGGER frozen BEFORE UPDATE ON folders BEGIN SELECT RAISE(ABORT, 'frozen'); END;");
    EXPECT_EQ(db->finishScan(scan->id, {"/r"}, ScanRecord::Status::completed, 0, 0, 0, 0, 0), (ScanTotals{3, 4, 7, 0}));
}

TEST_F(ScanCacheTest, EveryFolderOfALargeTreeGetsItsOwnTotals)
{
    // More folders than one statement updates at a time, each with figures of its own; the
    // second scan changes every third one only, so the rows written are not neighbours.
    const auto tree = [](int grow) {
        std::vector<Entry> entries = {{"/r", {file("top", 1)}}};
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

TEST_F(ScanCacheTest, AFinishThatReadsThroughOtherConnectionsSettlesLikeOneThatReadsAlone)
{
    // Shares of ids with gaps from pruned folders, more shares than folders, and a folder
    // whose parent is gone that only one share sees.
    std::vector<std::unique_ptr<SQLiteConnection>> owned;
    const auto useHelpers = [&](std::size_t count) {
        owned.clear();
        finishHelpers.clear();
        for (std::size_t i = 0; i < count; ++i) {
            owned.push_back(std::make_unique<SQLiteConnection>(path(), SQLiteConnection::Access::readAlongside));
            finishHelpers.push_back(owned.back().get());
        }
    };
    const auto tree = [](int every) {
        std::vector<Entry> entries = {{"/r", {file("top", 1)}}};
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
        EXPECT_EQ(db->totals(), (ScanTotals{1 + folders, folders + 1, all, 0}));
    };

    useHelpers(3);
    scanTree("/r", tree(1));
    expectTotals(1);
    // A former root that only a share past the first holds is left unvisited and goes.
    scanTree("/opt", {{"/opt", {file("o", 8)}}, {"/opt/x", {file("p", 8)}}}, ScanRecord::Status::cancelled);
    scanTree("/r", tree(3));
    EXPECT_FALSE(db->folder("/opt/x"));
    expectTotals(3);
    useHelpers(1);
    scanTree("/r", tree(3));
    expectTotals(3);

    // A visited row whose parent is gone, at the far end of the ids.
    executeOutside("INSERT INTO folders(id, parent_id, path, name, scan_id, direct_alloc) VALUES(987653, 987000, "
                   "'/r/lost', 'lost', " + std::to_string(db->lastScan()->id + 1) + ", 64)");
    useHelpers(64);
    scanTree("/r", tree(6));
    EXPECT_FALSE(db->folder("/r/lost"));
    expectTotals(6);
}

TEST_F(ScanCacheTest, OnlyACompletedScanPrunes)
{
    scanTree("/r", {{"/r", {file("a", 1)}}, {"/r/old", {file("b", 2)}}});
    scanTree("/opt", {{"/opt", {file("o", 8)}}, {"/opt/x", {file("p", 8)}}}, ScanRecord::Status::cancelled);

    // Neither /r/old nor the former root /opt is visited by these scans.
    struct Case { ScanRecord::Status status; bool pruned; };
    const Case cases[] = {{ScanRecord::Status::cancelled, false}, {ScanRecord::Status::failed, false},
                          {ScanRecord::Status::completed, true}};
    for (const auto& c : cases) {
        const auto historyBefore = db->history(100).size();
        const auto scanID = db->beginScan({"/r"});
        auto root = folder("/r", std::nullopt, 0, {file("a", 1)}, {"old"});
        root.folderID = db->ensureRoot("/r", 1.0);
        db->syncDirectory(root, scanID);
        const auto totals = db->finishScan(scanID, {"/r"}, c.status, 100, 50, 0, 0, 0);
        const std::string label(rawValue(c.status));
        EXPECT_EQ(db->folder("/r/old").has_value(), !c.pruned) << label;
        EXPECT_EQ(db->folder("/opt/x").has_value(), !c.pruned) << label;
        EXPECT_EQ(totals.allocatedBytes, c.pruned ? 1 : 1 + 2 + 16) << label;
        EXPECT_EQ(db->history(100).size(), historyBefore + (c.pruned ? 1 : 0)) << label;
        const auto scan = db->lastScan();
        EXPECT_EQ(scan->status, c.status) << label;
        EXPECT_TRUE(scan->finished) << label;
        EXPECT_EQ(db->categoryTotals().at(0).bytes, totals.allocatedBytes) << label;
    }
    const auto point = db->history(1).at(0);
    EXPECT_EQ(point.volumeTotal, 100);
    EXPECT_EQ(point.volumeUsed, 50);
    EXPECT_EQ(point.scannedBytes, 1);
}

TEST_F(ScanCacheTest, AFolderWithAMissingParentAddsNothingUpward)
{
    scanTree("/r", {{"/r", {file("a", 1)}}});
    const auto scanID = db->beginScan({"/r"});
    db->syncDirectory(folder("/r/lost", 424242, 1, {file("l", 64)}), scanID);
    db->finishScan(scanID, {"/r"}, ScanRecord::Status::cancelled, 0, 0, 0, 0, 0);
    EXPECT_EQ(db->folder("/r/lost")->totalAllocated, 64);
    EXPECT_EQ(db->folder("/r")->totalAllocated, 1);
}

TEST_F(ScanCacheTest, TheFinishCountsOnlyTreesThatReachARootAndWritesTheAllocatedTotalOnlyWhereItMoved)
{
    scanTree("/r", {{"/r", {file("a", 4096)}}, {"/r/s", {file("b", 4096)}}, {"/r/t", {}}});
    const auto scanID = db->beginScan({"/r"});
    const auto rootID = db->ensureRoot("/r", 1.0);
    // A folder whose parent row is gone, and a folder that cannot be read.
    db->syncDirectory(folder("/r/lost", 424242, 1, {file("l", 8192)}), scanID);
    auto refused = folder("/r/t", rootID, 1);
    refused.isRestricted = true;
    refused.folderID = db->folder("/r/t")->id;
    db->syncDirectory(refused, scanID);
    // One byte more in /r/s: the sizes move up the tree, the allocated totals stay.
    auto grown = folder("/r/s", rootID, 1, {file("b", 4096)});
    grown.files[0].size += 1;
    grown.folderID = db->folder("/r/s")->id;
    db->syncDirectory(grown, scanID);
    db->commit();
    executeOutside("CREATE TRIGGER steady AFTER UPDATE OF total_alloc ON folders WHEN NEW.path <> '/r/lost' "
                   "BEGIN SELECT RAISE(ABORT, 'total_alloc rewritten'); END;");

    const auto totals = db->finishScan(scanID, {"/r"}, ScanRecord::Status::cancelled, 0, 0, 0, 0, 0);
    EXPECT_EQ(totals, (ScanTotals{2, 3, 8192, 1}));
    EXPECT_EQ(totals, db->totals());
    EXPECT_EQ(db->folder("/r")->totalSize, 4095 + 4096);
    EXPECT_EQ(db->folder("/r/lost")->totalAllocated, 8192);
}

TEST_F(ScanCacheTest, TheFinishLeavesNoFileWithoutItsFolderAndCategoriesAddUpLikeTheFolders)
{
    scanTree("/r", {{"/r", {file("a", 1)}}, {"/r/a", {file("b", 2)}}});
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
    auto scanID = db->beginScan({"/r"});
    db->finishScan(scanID, {"/r"}, ScanRecord::Status::cancelled, 0, 0, 0, 0, 0);
    EXPECT_EQ(db->largestFiles(10).size(), 3u);   // a, b and the orphan folder's file

    // A completed one also drops the folders no tree reaches, so that the categories count
    // exactly the files the roots' totals count.
    scanTree("/r", {{"/r", {file("a", 1)}}, {"/r/a", {file("b", 2)}}});
    EXPECT_FALSE(db->folder("/elsewhere/orphan").has_value());
    EXPECT_EQ(db->largestFiles(10).size(), 2u);
    EXPECT_EQ(categoryBytes(), db->folder("/r")->totalAllocated);
    EXPECT_EQ(categoryBytes(), 3);
}

TEST_F(ScanCacheTest, AScanOfAFolderInsideAFormerRootKeepsThatFolder)
{
    const std::vector<Entry> whole = {{"/r", {file("a", 1)}},
                                      {"/r/a", {file("b", 2)}},
                                      {"/r/a/b", {file("c", 4)}},
                                      {"/r/a/b/c", {file("d", 8)}},
                                      {"/r/a/bb", {file("e", 16)}}};
    scanTree("/r", whole);
    const auto scanID = scanTree("/r/a/b", {{"/r/a/b", {file("c", 4)}}, {"/r/a/b/c", {file("d", 8)}}});

    struct Expected { const char* path; bool kept; };
    const Expected expected[] = {{"/r", false}, {"/r/a", false}, {"/r/a/bb", false}, {"/r/a/b", true},
                                 {"/r/a/b/c", true}};
    for (const auto& e : expected) EXPECT_EQ(db->folder(e.path).has_value(), e.kept) << e.path;
    const auto root = db->folder("/r/a/b");
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->parentID);
    EXPECT_EQ(root->totalAllocated, 12);
    EXPECT_EQ(root->fileCount, 2);
    EXPECT_EQ(db->totals(), (ScanTotals{2, 2, 12, 0}));
    const auto scan = db->lastScan();
    EXPECT_EQ(scan->id, scanID);
    EXPECT_EQ(scan->fileCount, 2);
    EXPECT_EQ(db->history(1).at(0).scannedBytes, 12);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 2);
    EXPECT_EQ(committed("SELECT SUM(bytes) FROM category_totals"), 12);

    // Scanning the outer folder again takes the inner one back below it.
    scanTree("/r", whole);
    EXPECT_EQ(db->folder("/r/a/b")->parentID, db->folder("/r/a")->id);
    EXPECT_EQ(db->totals(), (ScanTotals{5, 5, 31, 0}));
}

TEST_F(ScanCacheTest, CategoryTotalsHoldExactlyTheRowsOfAGroupingOverTheFiles)
{
    auto doc = file("d.pdf", 100);
    doc.category = StorageCategory::documents;
    auto linked = file("l.pdf", 50);
    linked.category = StorageCategory::documents;
    linked.countedAllocatedSize = 0;
    auto photo = file("p.jpg", 7);
    photo.category = StorageCategory::photos;
    scanTree("/r", {{"/r", {doc, linked, photo, file("x", 3)}}, {"/r/s", {file("y", 5)}}});
    writeRowsOutside("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, category) "
                     "VALUES(1, 'odd', '', 1, 1, 9, 977)");   // a category no build knows
    const auto scanID = db->beginScan({"/r"});
    db->finishScan(scanID, {"/r"}, ScanRecord::Status::cancelled, 0, 0, 0, 0, 0);

    const CategorySums sums = categorySums(path());
    EXPECT_EQ(sums.stored, sums.ofFileRows);
    EXPECT_EQ(sums.stored.size(), 4u);
}

namespace {

const std::string schemaSQL = "SELECT type || ' ' || name || ' ' || IFNULL(sql, '') FROM sqlite_master ORDER BY name";

} // namespace

TEST_F(ScanCacheTest, AFirstScanLoadsWithoutItsUnorderedIndexesAndEndsWithTheWholeSchema)
{
    const auto full = committedTexts(schemaSQL);
    ASSERT_EQ(full.size(), 7u + 8u + 2u);   // tables, indexes, those of meta.key and folders.path
    struct Case {
        const char* what;
        bool filesBefore;
        bool finish;   // else the program stops before the finish and opens the cache again
    };
    const Case cases[] = {{"empty cache", false, true}, {"cache with files", true, true},
                          {"stopped before the finish", false, false}};
    for (const auto& c : cases) {
        db->clearAll();
        if (c.filesBefore) scanTree("/r", {{"/r", {file("a", 1)}}});
        const auto scanID = db->beginScan({"/r"});
        EXPECT_EQ(db->beginBulkLoad(), !c.filesBefore) << c.what;
        EXPECT_FALSE(db->beginBulkLoad()) << c.what;
        EXPECT_EQ(committedTexts(schemaSQL).size(), full.size() - (c.filesBefore ? 0 : ScanCacheSchema::bulkLoadIndexes.size())) << c.what;
        auto root = folder("/r", std::nullopt, 0, {file("a", 1), file("b", 2)});
        root.folderID = db->ensureRoot("/r", 1.0);
        db->syncDirectory(root, scanID);
        if (c.finish) {
            EXPECT_EQ(db->finishScan(scanID, {"/r"}, ScanRecord::Status::completed, 0, 0, 0, 0, 0),
                      (ScanTotals{2, 1, 3, 0}))
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

TEST_F(ScanCacheTest, AFirstScanWhoseFinishFailsAfterTheIndexesStillGetsThemFromTheNextFinish)
{
    const auto full = committedTexts(schemaSQL);
    // A write that fails once the indexes are built, as on a disk that fills up there.
    executeOutside("CREATE TRIGGER no_room BEFORE INSERT ON history BEGIN SELECT RAISE(ABORT, 'no room'); END;");
    const auto scanID = db->beginScan({"/r"});
    ASSERT_TRUE(db->beginBulkLoad());
    auto root = folder("/r", std::nullopt, 0, {file("a", 1), file("b", 2)});
    root.folderID = db->ensureRoot("/r", 1.0);
    db->syncDirectory(root, scanID);
    EXPECT_THROW(db->finishScan(scanID, {"/r"}, ScanRecord::Status::completed, 0, 0, 0, 0, 0), SQLiteError);

    executeOutside("DROP TRIGGER no_room;");
    scanTree("/r", {{"/r", {file("a", 1), file("b", 2)}}});
    db->waitForIndexes();
    EXPECT_EQ(committedTexts(schemaSQL), full);
}

TEST_F(ScanCacheTest, FileRowsWhoseFolderIsGoneLeaveWithTheFinishAndCountInNoCategory)
{
    for (const auto status : {ScanRecord::Status::cancelled, ScanRecord::Status::completed}) {
        db->clearAll();
        auto photo = file("p.jpg", 7);
        photo.category = StorageCategory::photos;
        scanTree("/r", {{"/r", {file("a", 1), photo}}, {"/r/s", {file("b", 2)}}});
        // Rows left by a removal that stopped half way: their folders are gone, one of them
        // with an id between those of live folders.
        writeRowsOutside("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, category) VALUES"
                         "(987654, 'x', '', 5, 5, 5, 5), (987654, 'y', '', 6, 6, 6, 0),"
                         "((SELECT MAX(id) FROM folders) - 0, 'z', '', 1, 1, 1, 0);"
                         "DELETE FROM folders WHERE path = '/r/s';"
                         "INSERT INTO folders(id, parent_id, path, name) VALUES(987653, 1, '/r/t', 't');");
        if (status == ScanRecord::Status::completed) {
            scanTree("/r", {{"/r", {file("a", 1), photo}}});
        } else {
            const auto scanID = db->beginScan({"/r"});
            db->finishScan(scanID, {"/r"}, status, 0, 0, 0, 0, 0);
        }
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 2) << rawValue(status);
        EXPECT_EQ(db->totals().fileCount, 2) << rawValue(status);
        const std::vector<CategoryUsage> expected = {{StorageCategory::photos, 7, 1}, {StorageCategory::other, 1, 1}};
        EXPECT_EQ(db->categoryTotals(), expected) << rawValue(status);
    }
}

TEST_F(ScanCacheTest, CategoriesStayWhenNothingChangedAndAreTakenAgainAfterChangesAStoppedScanStored)
{
    auto photo = file("p.jpg", 7);
    photo.category = StorageCategory::photos;
    const auto categories = [&](std::int64_t photoBytes) {
        return std::vector<CategoryUsage>{{StorageCategory::photos, photoBytes, 1}, {StorageCategory::other, 1, 1}};
    };
    scanTree("/r", {{"/r", {file("a", 1), photo}}});
    scanTree("/r", {{"/r", {file("a", 1), photo}}});
    EXPECT_EQ(db->categoryTotals(), categories(7));

    // A scan that stored a change and ended before its finish, as when the program is killed.
    const auto stopped = db->beginScan({"/r"});
    photo.size = 69;
    photo.allocatedSize = photo.countedAllocatedSize = 70;
    auto snapshot = folder("/r", std::nullopt, 0, {file("a", 1), photo});
    snapshot.folderID = db->folder("/r")->id;
    db->syncDirectory(snapshot, stopped);
    db->commit();
    reopen();

    // The next scan meets nothing new, yet counts what the stopped one stored.
    scanTree("/r", {{"/r", {file("a", 1), photo}}});
    EXPECT_EQ(db->categoryTotals(), categories(70));
    EXPECT_EQ(db->folder("/r")->totalAllocated, 71);

    // A removal between scans counts too.
    db->removeItem("/r/p.jpg");
    scanTree("/r", {{"/r", {file("a", 1)}}});
    EXPECT_EQ(db->categoryTotals(), (std::vector<CategoryUsage>{{StorageCategory::other, 1, 1}}));
}

TEST_F(ScanCacheTest, AFolderWhoseParentIdMatchesNoFolderIsAnOrphanEvenAtZero)
{
    scanTree("/r", {{"/r", {file("a", 1)}}});
    // Stamped by the coming scan, so that only its missing parent marks it.
    writeRowsOutside("INSERT INTO folders(parent_id, path, name, depth, direct_alloc, total_alloc, scan_id) "
                     "VALUES(0, '/elsewhere/zero', 'zero', 1, 5, 5, (SELECT MAX(id) + 1 FROM scans));");
    scanTree("/r", {{"/r", {file("a", 1)}}});
    EXPECT_FALSE(db->folder("/elsewhere/zero").has_value());
    EXPECT_EQ(db->totals().allocatedBytes, 1);
}

TEST_F(ScanCacheTest, NotedCategoryChangesAddToTheStoredSumsOrAreRefusedWhenTheyCannotBeTheRows)
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
