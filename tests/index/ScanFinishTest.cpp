#include "index/ScanCacheTestSupport.h"

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
