#include "index/DirectorySync.h"
#include "index/ScanCacheTestSupport.h"

#include <algorithm>
#include <sqlite3.h>

class DirectorySyncTest : public ScanCacheFixture {};

namespace {

// Makes any write of the given kind to `table` fail from now on.
std::string forbid(const std::string& what, const std::string& table)
{
    return "CREATE TRIGGER forbid_" + what + "_" + table + " BEFORE " + what + " ON " + table +
           " BEGIN SELECT RAISE(ABORT, 'forbidden'); END;";
}

} // namespace

TEST_F(DirectorySyncTest, ResyncOfAnUnchangedFolderWritesOnlyTheFolderRow)
{
    std::vector<ScannedFile> files = {file("a", 4096), file("b", 8192)};
    scanTree("/r", {{.path = "/r", .files = files}, {.path = "/r/s", .files = {file("c", 1)}}});
    db->commit();
    for (const char* what : {"INSERT", "UPDATE", "DELETE"}) executeOutside(forbid(what, "files"));

    auto scan = db->startScan({"/r"});
    auto again = folder("/r", std::nullopt, 0, files, {"s"});
    again.folderID = scan.ensureRoot("/r", 1.0);
    const auto result = scan.syncDirectory(again);
    EXPECT_EQ(result, (DirectorySyncResult{.folderID = again.folderID.value(),
                                           .childIDs = {{"s", db->folder("/r/s")->id}},
                                           .newFiles = 0,
                                           .changedFiles = 0,
                                           .deletedFiles = 0,
                                           .deletedFolders = 0,
                                           .newChildIDs = {}}));
}

TEST_F(DirectorySyncTest, FileDifferencesAreDetectedExactly)
{
    const auto base = file("f", 4096, 1000.0);
    struct Case {
        const char* what;
        std::function<void(std::vector<ScannedFile>&)> change;
        int newFiles, changedFiles, deletedFiles;
    };
    const Case cases[] = {
        {.what = "time within tolerance",
         .change = [](auto& f) { f[0].modified += 0.0004; },
         .newFiles = 0,
         .changedFiles = 0,
         .deletedFiles = 0},
        {.what = "time beyond tolerance",
         .change = [](auto& f) { f[0].modified += 0.001; },
         .newFiles = 0,
         .changedFiles = 1,
         .deletedFiles = 0},
        {.what = "now a further hard link",
         .change = [](auto& f) { f[0].countedAllocatedSize = 0; },
         .newFiles = 0,
         .changedFiles = 1,
         .deletedFiles = 0},
        {.what = "gained a link, still carrying its size", .change = [](auto& f) {
             f[0].flags.insert(FileItem::Flags::hardLink);
             f[0].inode = 77;
         }, .newFiles = 0, .changedFiles = 1, .deletedFiles = 0},
        {.what = "another file of equal size and time in its place",
         .change = [](auto& f) { f[0].inode = 78; },
         .newFiles = 0,
         .changedFiles = 1,
         .deletedFiles = 0},
        {.what = "grown",
         .change = [](auto& f) { f[0].size += 1; },
         .newFiles = 0,
         .changedFiles = 1,
         .deletedFiles = 0},
        {.what = "renamed",
         .change = [](auto& f) { f[0].name = "g"; },
         .newFiles = 1,
         .changedFiles = 0,
         .deletedFiles = 1},
        {.what = "gone", .change = [](auto& f) { f.clear(); }, .newFiles = 0, .changedFiles = 0, .deletedFiles = 1},
        {.what = "added",
         .change = [&](auto& f) { f.push_back(file("h", 1)); },
         .newFiles = 1,
         .changedFiles = 0,
         .deletedFiles = 0},
    };
    for (const auto& c : cases) {
        db->clearAll();
        auto scan = db->startScan({"/r"});
        scan.syncDirectory(folder("/r", std::nullopt, 0, {base}));
        std::vector<ScannedFile> files = {base};
        c.change(files);
        const auto result = scan.syncDirectory(folder("/r", std::nullopt, 0, files));
        EXPECT_EQ(result.newFiles, c.newFiles) << c.what;
        EXPECT_EQ(result.changedFiles, c.changedFiles) << c.what;
        EXPECT_EQ(result.deletedFiles, c.deletedFiles) << c.what;
        EXPECT_EQ(db->largestFiles(10).size(), files.size()) << c.what;
    }
}

TEST_F(DirectorySyncTest, HardLinksCountOnceInFolderTotals)
{
    auto second = file("link", 4096);
    second.countedAllocatedSize = 0;
    second.flags = FileItem::Flags::hardLink;
    auto first = file("orig", 4096);
    first.flags = FileItem::Flags::hardLink;
    scanTree("/r", {{.path = "/r", .files = {file("x", 100)}},
                    {.path = "/r/a", .files = {first}},
                    {.path = "/r/b", .files = {second}}});

    const auto root = db->folder("/r");
    EXPECT_EQ(root->totalAllocated, 100 + 4096);
    EXPECT_EQ(root->totalSize, 99 + 4095 + 4095);
    EXPECT_EQ(db->folder("/r/b")->directAllocated, 0);
    EXPECT_EQ(db->categoryTotals(), (std::vector<CategoryUsage>{{.category = StorageCategory::other,
                                                                 .bytes = 4196,
                                                                 .fileCount = 3}}));
    // Listings show the real allocation of each link.
    EXPECT_EQ(db->largestFiles(1, std::nullopt, std::string("/r/b")).at(0).allocatedSize, 4096);
}

TEST_F(DirectorySyncTest, RepeatedRepairedNamesMatchOneRowEach)
{
    // Two byte-distinct names that both read as "a\uFFFD" once repaired.
    const std::string repaired = "a\xEF\xBF\xBD";
    std::vector<ScannedFile> files = {file(repaired, 10), file(repaired, 20)};
    auto scan = db->startScan({"/r"});
    const auto first = scan.syncDirectory(folder("/r", std::nullopt, 0, files, {"d", "d"}));
    EXPECT_EQ(first.newFiles, 2);
    EXPECT_EQ(first.childIDs.size(), 1u);

    for (int rescan = 0; rescan < 3; ++rescan) {
        const auto again = scan.syncDirectory(folder("/r", std::nullopt, 0, files, {"d", "d"}));
        EXPECT_EQ(again.newFiles + again.changedFiles + again.deletedFiles, 0) << rescan;
        EXPECT_EQ(again.childIDs, first.childIDs);
    }
    db->commit();
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 2);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE path = '/r/d'"), 1);
    const auto logged = db->recentErrors(10);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged[0].path, "/r/d");
    EXPECT_EQ(logged[0].message, DirectorySync::duplicateFolderMessage);

    // One of the two gone: exactly one row goes with it.
    const auto fewer = scan.syncDirectory(folder("/r", std::nullopt, 0, {file(repaired, 20)}));
    EXPECT_EQ(fewer.deletedFiles, 1);
    EXPECT_EQ(fewer.changedFiles, 0);
}

TEST_F(DirectorySyncTest, ChildFoldersAreAddedFoundAndRemoved)
{
    EXPECT_EQ(DirectorySync::childPath("/", "tmp"), "/tmp");
    EXPECT_EQ(DirectorySync::childPath("/private", "tmp"), "/private/tmp");

    scanTree("/r", {{.path = "/r", .files = {}},
                    {.path = "/r/gone", .files = {file("g", 1)}},
                    {.path = "/r/gone/a", .files = {file("ga", 1)}},
                    {.path = "/r/gone/a/b", .files = {file("gab", 1)}},
                    {.path = "/r/stay", .files = {file("s", 1)}}});
    auto scan = db->startScan({"/r"});
    auto root = folder("/r", std::nullopt, 0, {}, {"stay", "new"});
    root.folderID = scan.ensureRoot("/r", 1.0);
    const auto result = scan.syncDirectory(root);
    EXPECT_EQ(result.deletedFolders, 3);
    EXPECT_EQ(result.childIDs.at("stay"), db->folder("/r/stay")->id);
    const auto added = db->folder("/r/new");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->id, result.childIDs.at("new"));
    EXPECT_EQ(added->modified, 600.0);
    EXPECT_FALSE(db->folder("/r/gone/a/b"));
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 1);
}

TEST_F(DirectorySyncTest, ARowMadeByTheScanShowsItsOwnFiguresAtOnceAndAnOlderRowKeepsItsTotalsUntilTheFinish)
{
    scanTree("/r", {{.path = "/r", .files = {}}, {.path = "/r/a", .files = {file("a1", 4096)}}});
    auto scan = db->startScan({"/r"});
    auto root = folder("/r", std::nullopt, 0, {}, {"a", "b"});
    root.folderID = scan.ensureRoot("/r", 1.0);
    const auto made = scan.syncDirectory(root);

    // A new leaf's figures are its whole subtree's: right before the finish gets to them.
    auto fresh = folder("/r/b", root.folderID, 1, {file("b1", 8192), file("b2", 4096)});
    fresh.folderID = made.childIDs.at("b");
    fresh.isNewRow = true;
    scan.syncDirectory(fresh);
    EXPECT_EQ(db->folder("/r/b")->totalAllocated, 12288);
    EXPECT_EQ(db->folder("/r/b")->fileCount, 2);

    // A stored folder's totals are its subtree's from the last finish: a rescan must not let
    // them drop to its own files midway.
    auto older = folder("/r/a", root.folderID, 1, {file("a1", 4096), file("a2", 4096)});
    older.folderID = made.childIDs.at("a");
    scan.syncDirectory(older);
    EXPECT_EQ(db->folder("/r/a")->totalAllocated, 4096);
    EXPECT_EQ(db->folder("/r")->totalAllocated, 4096);

    scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}, .volumeTotal = 1000, .volumeUsed = 500});
    EXPECT_EQ(db->folder("/r/a")->totalAllocated, 8192);
    EXPECT_EQ(db->folder("/r/b")->totalAllocated, 12288);
    EXPECT_EQ(db->folder("/r")->totalAllocated, 20480);
    EXPECT_EQ(db->folder("/r")->folderCount, 2);
}

TEST_F(DirectorySyncTest, WritingOnlySubfoldersLeavesTheFoldersFilesFiguresAndStampAlone)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 10), file("b", 20)}},
                    {.path = "/r/gone", .files = {}},
                    {.path = "/r/stay", .files = {file("s", 1)}}});
    db->commit();
    for (const char* what : {"INSERT", "UPDATE"}) executeOutside(forbid(what, "files"));
    const auto rootID = db->folder("/r")->id;
    const auto stayID = db->folder("/r/stay")->id;

    auto scan = db->startScan({"/r"});
    // Its files are left out of the listing, as those of a folder whose files wait.
    auto root = folder("/r", std::nullopt, 0, {}, {"stay", "new"});
    root.folderID = scan.ensureRoot("/r", 1.0);
    const auto result = scan.syncSubfolders(root);
    const auto added = db->folder("/r/new");
    ASSERT_TRUE(added);
    EXPECT_EQ(result, (DirectorySyncResult{.folderID = rootID,
                                           .childIDs = {{"stay", stayID}, {"new", added->id}},
                                           .newFiles = 0,
                                           .changedFiles = 0,
                                           .deletedFiles = 0,
                                           .deletedFolders = 1,
                                           .newChildIDs = {added->id}}));
    EXPECT_EQ(added->parentID, rootID);
    EXPECT_FALSE(db->folder("/r/gone"));
    EXPECT_EQ(db->folder("/r")->directFileCount, 2);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files WHERE folder_id = " + std::to_string(rootID)), 2);
    EXPECT_FALSE(scan.visitedChildren(rootID));   // not stamped: a resumed scan reads it again

    // Without an id the folder is found by its path, inside the open batch.
    auto stay = folder("/r/stay", rootID, 1, {}, {"inner"});
    const auto placed = scan.syncSubfolders(stay);
    EXPECT_EQ(placed.folderID, stayID);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE path = '/r/stay/inner'"), 0);
    EXPECT_EQ(db->folder("/r/stay/inner")->id, placed.childIDs.at("inner"));
}

TEST_F(DirectorySyncTest, SubtreeDeletionKeepsSiblingsWithSharedPrefixes)
{
    auto scan = db->startScan({"/"});
    for (const char* path : {"/a", "/a/b", "/a/b/c", "/ab", "/a0", "/a.bak"}) {
        scan.syncDirectory(folder(path, std::nullopt, 0, {file("f", 1)}));
    }
    EXPECT_EQ(db->deleteSubtree("/a"), 3);
    for (const char* kept : {"/ab", "/a0", "/a.bak"}) EXPECT_TRUE(db->folder(kept)) << kept;
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), 3);
    EXPECT_EQ(db->deleteSubtree("/"), 3);
    db->commit();
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files") + committed("SELECT COUNT(*) FROM folders"), 0);
}

TEST_F(DirectorySyncTest, StaleFolderIdsFallBackToThePath)
{
    scanTree("/r", {{.path = "/r", .files = {}},
                    {.path = "/r/a", .files = {file("a", 1)}},
                    {.path = "/r/b", .files = {file("b", 1)}}});
    const auto aID = db->folder("/r/a")->id;
    const auto bID = db->folder("/r/b")->id;
    db->deleteSubtree("/r/a");

    auto scan = db->startScan({"/r"});
    struct Case { const char* path; std::int64_t staleID; };
    // A vanished row, and an id that now belongs to another folder.
    const Case cases[] = {{.path = "/r/a", .staleID = aID}, {.path = "/r/c", .staleID = bID}};
    for (const auto& c : cases) {
        auto snapshot = folder(c.path, db->folder("/r")->id, 1, {file("new", 5)});
        snapshot.folderID = c.staleID;
        const auto result = scan.syncDirectory(snapshot);
        const auto stored = db->folder(c.path);
        ASSERT_TRUE(stored) << c.path;
        EXPECT_EQ(result.folderID, stored->id);
        EXPECT_EQ(db->largestFiles(10, std::nullopt, std::string(c.path)).size(), 1u) << c.path;
    }
    EXPECT_EQ(db->folder("/r/b")->path, "/r/b");
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files WHERE folder_id NOT IN (SELECT id FROM folders)"), 0);
}

TEST_F(DirectorySyncTest, AFolderRowTakesTheSnapshotsPlaceWhateverItHeld)
{
    scanTree("/r", {{.path = "/r", .files = {}}, {.path = "/r/a", .files = {}}});
    const auto rootID = db->folder("/r")->id;
    const auto aID = db->folder("/r/a")->id;
    // Rows left behind by moves and renames; the last one already matches.
    const char* stale[] = {"UPDATE folders SET parent_id = NULL WHERE path = '/r/a'",
                           "UPDATE folders SET depth = 7 WHERE path = '/r/a'",
                           "UPDATE folders SET name = 'old' WHERE path = '/r/a'", "SELECT 1"};
    for (const char* change : stale) {
        db->commit();
        executeOutside(change);
        auto scan = db->startScan({"/r"});
        auto snapshot = folder("/r/a", rootID, 1, {file("f", 3)});
        snapshot.folderID = aID;
        EXPECT_EQ(scan.syncDirectory(snapshot).folderID, aID) << change;
        db->commit();
        const std::string row = " FROM folders WHERE id = " + std::to_string(aID);
        EXPECT_EQ(committed("SELECT parent_id" + row), rootID) << change;
        EXPECT_EQ(committed("SELECT depth" + row), 1) << change;
        EXPECT_EQ(committed("SELECT name = 'a'" + row), 1) << change;
        EXPECT_EQ(committed("SELECT scan_id" + row), scan.id()) << change;
        EXPECT_EQ(committed("SELECT direct_alloc" + row), 3) << change;
    }
}

TEST_F(DirectorySyncTest, AFormerRootMovesUnderItsNewParentWithItsDepths)
{
    scanTree("/r/a", {{.path = "/r/a", .files = {file("x", 1)}}, {.path = "/r/a/b", .files = {file("y", 2)}}});
    const auto formerRoot = db->folder("/r/a")->id;

    auto scan = db->startScan({"/r"});
    auto root = folder("/r", std::nullopt, 0, {file("z", 4)}, {"a"});
    root.folderID = scan.ensureRoot("/r", 1.0);
    const auto result = scan.syncDirectory(root);
    EXPECT_EQ(result.childIDs.at("a"), formerRoot);
    // Cancelled before /r/a is read again: its subtree must still sum up correctly.
    scan.finish({.status = ScanRecord::Status::cancelled, .roots = {"/r"}});
    EXPECT_EQ(committed("SELECT depth FROM folders WHERE path = '/r/a'"), 1);
    EXPECT_EQ(committed("SELECT depth FROM folders WHERE path = '/r/a/b'"), 2);
    EXPECT_EQ(db->folder("/r")->totalAllocated, 7);
    EXPECT_EQ(db->largestFolders(10, 1).size(), 1u);

    // Becoming a root again lifts the subtree back up.
    scan.ensureRoot("/r/a", 1.0);
    db->commit();
    EXPECT_EQ(committed("SELECT depth FROM folders WHERE path = '/r/a/b'"), 1);
}

TEST_F(DirectorySyncTest, EverySubfolderOfALargeFolderGetsItsOwnRowAndID)
{
    // More subfolders than one statement writes at a time, one of them a former root
    // whose row is kept: the ids after it must not shift onto their neighbours.
    scanTree("/r/c37", {{.path = "/r/c37", .files = {file("x", 1)}}, {.path = "/r/c37/d", .files = {}}});
    const auto formerRoot = db->folder("/r/c37")->id;

    auto scan = db->startScan({"/r"});
    auto root = folder("/r", std::nullopt, 0);
    for (int i = 0; i < 80; ++i) root.subdirectories.push_back({.name = "c" + std::to_string(i),
                                                                .modified = 600.0 + i});
    root.folderID = scan.ensureRoot("/r", 1.0);
    const auto result = scan.syncDirectory(root);
    db->commit();

    ASSERT_EQ(result.childIDs.size(), 80u);
    EXPECT_EQ(result.childIDs.at("c37"), formerRoot);
    ASSERT_EQ(result.newChildIDs.size(), 79u);
    EXPECT_TRUE(std::is_sorted(result.newChildIDs.begin(), result.newChildIDs.end()));
    EXPECT_EQ(std::count(result.newChildIDs.begin(), result.newChildIDs.end(), formerRoot), 0);
    for (int i = 0; i < 80; ++i) {
        const std::string name = "c" + std::to_string(i);
        const auto id = result.childIDs.at(name);
        SCOPED_TRACE(name);
        EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE id = " + std::to_string(id) + " AND path = '/r/" + name +
                            "' AND name = '" + name + "' AND depth = 1 AND parent_id = " +
                            std::to_string(*root.folderID)),
                  1);
        if (i != 37) {
            EXPECT_EQ(db->folder("/r/" + name)->modified, 600.0 + i);
        }
    }
    EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE parent_id = " + std::to_string(*root.folderID)), 80);
    EXPECT_EQ(committed("SELECT depth FROM folders WHERE path = '/r/c37/d'"), 2);
}

TEST_F(DirectorySyncTest, AFailedSyncLeavesTheFolderUnvisitedAndStopsThePruning)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}},
                    {.path = "/r/s", .files = {file("b", 2)}},
                    {.path = "/r/s/t", .files = {file("c", 4)}}});
    db->commit();
    executeOutside("CREATE TRIGGER poison BEFORE INSERT ON files WHEN NEW.name = 'poison' "
                   "BEGIN SELECT RAISE(ABORT, 'poisoned'); END;");

    auto scan = db->startScan({"/r"});
    const auto rootID = scan.ensureRoot("/r", 1.0);
    auto root = folder("/r", std::nullopt, 0, {file("a", 1)}, {"s"});
    root.folderID = rootID;
    scan.syncDirectory(root);
    auto sub = folder("/r/s", rootID, 1, {file("b", 2), file("poison", 8)}, {"t"});
    sub.folderID = db->folder("/r/s")->id;
    EXPECT_EQ(sqliteFailure([&] { scan.syncDirectory(sub); }).code(), 19);
    // A resumed scan must read the half-written folder again.
    EXPECT_FALSE(scan.visitedChildren(sub.folderID.value()));
    EXPECT_TRUE(scan.visitedChildren(rootID));

    scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}});
    EXPECT_TRUE(db->folder("/r/s/t"));
    EXPECT_EQ(db->totals().fileCount, 3);

    // A later scan without failures prunes what it did not visit.
    auto clean = db->startScan({"/r"});
    auto rootAgain = folder("/r", std::nullopt, 0, {file("a", 1)}, {"s"});
    rootAgain.folderID = clean.ensureRoot("/r", 1.0);
    clean.syncDirectory(rootAgain);
    EXPECT_EQ(clean.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}}).totals,
              (ScanTotals{.fileCount = 1, .folderCount = 1, .allocatedBytes = 1, .restrictedFolders = 0}));
}

TEST_F(DirectorySyncTest, StoredFilesAreMatchedWhateverTheListingOrder)
{
    const std::vector<ScannedFile> stored = {file("a", 1), file("b", 2), file("c", 3), file("d", 4)};
    struct Case {
        const char* what;
        std::vector<ScannedFile> listing;
        int newFiles, changedFiles, deletedFiles;
    };
    auto grownC = file("c", 30);
    const Case cases[] = {
        {.what = "same order", .listing = stored, .newFiles = 0, .changedFiles = 0, .deletedFiles = 0},
        {.what = "reversed",
         .listing = {stored[3], stored[2], stored[1], stored[0]},
         .newFiles = 0,
         .changedFiles = 0,
         .deletedFiles = 0},
        {.what = "one inserted at the front",
         .listing = {file("z", 9), stored[0], stored[1], stored[2], stored[3]},
         .newFiles = 1,
         .changedFiles = 0,
         .deletedFiles = 0},
        {.what = "first one gone",
         .listing = {stored[1], stored[2], stored[3]},
         .newFiles = 0,
         .changedFiles = 0,
         .deletedFiles = 1},
        {.what = "changed in the middle, then moved",
         .listing = {stored[0], stored[1], stored[3], grownC},
         .newFiles = 0,
         .changedFiles = 1,
         .deletedFiles = 0},
        {.what = "renamed in place",
         .listing = {stored[0], file("bb", 2), stored[2], stored[3]},
         .newFiles = 1,
         .changedFiles = 0,
         .deletedFiles = 1},
    };
    for (const auto& c : cases) {
        db->clearAll();
        auto scan = db->startScan({"/r"});
        scan.syncDirectory(folder("/r", std::nullopt, 0, stored));
        const auto result = scan.syncDirectory(folder("/r", std::nullopt, 0, c.listing));
        EXPECT_EQ(result.newFiles, c.newFiles) << c.what;
        EXPECT_EQ(result.changedFiles, c.changedFiles) << c.what;
        EXPECT_EQ(result.deletedFiles, c.deletedFiles) << c.what;
        db->commit();
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), static_cast<std::int64_t>(c.listing.size())) << c.what;
        EXPECT_EQ(committed("SELECT COUNT(DISTINCT name) FROM files"), static_cast<std::int64_t>(c.listing.size()))
            << c.what;
        std::int64_t alloc = 0;
        for (const auto& f : c.listing) alloc += f.allocatedSize;
        EXPECT_EQ(committed("SELECT SUM(alloc) FROM files"), alloc) << c.what;
    }
}

TEST_F(DirectorySyncTest, EveryFileOfALargeFolderGetsItsOwnRow)
{
    // Files whose every column differs from the next one's, more of them than one
    // statement writes at a time.
    const auto listing = [](int count, std::int64_t grow) {
        std::vector<ScannedFile> files;
        for (int i = 0; i < count; ++i) {
            auto f = file("f" + std::to_string(i) + ".e" + std::to_string(i % 7), 4096 * (i + 1), 1000.0 + i);
            f.fileExtension = "e" + std::to_string(i % 7);
            f.size += grow;
            f.countedAllocatedSize = i % 3 == 0 ? 0 : f.allocatedSize;
            f.created = 2000.0 + i;
            f.accessed = 3000.0 + i;
            f.flags = FileItem::Flags{i % 16};
            f.inode = static_cast<std::uint64_t>(7000 + i);
            f.category = i % 2 ? StorageCategory::photos : StorageCategory::documents;
            files.push_back(f);
        }
        return files;
    };
    // One text per row, so that a row written with another file's values shows.
    const auto stored = [&] {
        db->commit();
        SQLiteConnection observer(path());
        std::vector<std::string> rows;
        observer.query("SELECT name, ext, size, alloc, counted_alloc, modified, created, accessed, flags, inode, "
                       "category FROM files ORDER BY id",
                       {}, [&](SQLiteConnection::Statement& row) {
                           std::string text;
                           for (int column = 0; column < 11; ++column) text += row.text(column) + "|";
                           rows.push_back(text);
                       });
        return rows;
    };
    const auto expected = [](const std::vector<ScannedFile>& files) {
        std::vector<std::string> rows;
        for (const auto& f : files) {
            const auto real = [](double value) {
                char text[32];
                std::snprintf(text, sizeof text, "%.1f", value);
                return std::string(text);
            };
            rows.push_back(f.name + "|" + f.fileExtension + "|" + std::to_string(f.size) + "|" +
                           std::to_string(f.allocatedSize) + "|" + std::to_string(f.countedAllocatedSize) + "|" +
                           real(f.modified) + "|" + real(f.created) + "|" + real(f.accessed) + "|" +
                           std::to_string(f.flags.rawValue) + "|" + std::to_string(f.inode) + "|" +
                           std::to_string(rawValue(f.category)) + "|");
        }
        return rows;
    };

    for (const bool newRow : {false, true}) {
        db->clearAll();
        auto scan = db->startScan({"/r"});
        const auto first = listing(75, 0);
        auto snapshot = folder("/r", std::nullopt, 0, first);
        snapshot.folderID = scan.ensureRoot("/r", 1.0);
        snapshot.isNewRow = newRow;
        EXPECT_EQ(scan.syncDirectory(snapshot).newFiles, 75) << newRow;
        EXPECT_EQ(stored(), expected(first)) << newRow;
    }

    // A rescan with 40 files more and every stored one changed, in one indexed column, in
    // several, or in none: the new ones are written in chunks between the updates.
    auto again = listing(115, 0);
    for (std::size_t i = 0; i < 75; ++i) {
        auto& f = again[i];
        if (i % 8 & 1) f.size += 1;
        if (i % 8 & 2) f.allocatedSize += 4096;
        if (i % 8 & 4) f.category = StorageCategory::archives;
        f.countedAllocatedSize = f.allocatedSize;
        f.modified += 0.5;   // so that every one is written
        f.created += 0.5;
        f.flags = FileItem::Flags{f.flags.rawValue ^ 1};
    }
    const auto result = db->startScan({"/r"}).syncDirectory(folder("/r", std::nullopt, 0, again));
    EXPECT_EQ(result.newFiles, 40);
    EXPECT_EQ(result.changedFiles, 75);
    EXPECT_EQ(stored(), expected(again));
    // The indexes agree with the rows.
    SQLiteConnection observer(path());
    EXPECT_EQ(observer.scalarInt("SELECT COUNT(*) FROM files INDEXED BY files_category WHERE category = " +
                                 std::to_string(rawValue(StorageCategory::archives))),
              36);
    EXPECT_EQ(observer.scalarInt("SELECT value FROM (SELECT COUNT(*) AS value FROM pragma_integrity_check "
                                 "WHERE integrity_check <> 'ok')"),
              0);
}

namespace {

// What a scan reader sees: the committed rows, through a connection of its own.
std::optional<FolderDifferences> readBeside(const std::string& path, StorageDatabase& db,
                                            const DirectorySnapshot& snapshot)
{
    SQLiteConnection reader(path, SQLiteConnection::Access::readAlongside);
    const std::uint64_t rewrites = db.rewritesCommitted();
    return DirectorySync::compare(reader, snapshot, rewrites);
}

} // namespace

TEST_F(DirectorySyncTest, AComparisonReadBesideTheWriterStandsForTheStoredRows)
{
    std::vector<ScannedFile> files = {file("a", 4096), file("b", 8192), file("c", 1)};
    scanTree("/r", {{.path = "/r", .files = files}, {.path = "/r/s", .files = {}}, {.path = "/r/t", .files = {}}});
    const auto stored = db->folder("/r");

    auto scan = db->startScan({"/r"});
    auto same = folder("/r", std::nullopt, 0, files, {"s", "t"});
    same.folderID = scan.ensureRoot("/r", 1.0);
    auto read = readBeside(path(), *db, same);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->filesUnchanged());
    EXPECT_TRUE(read->rowCurrent);
    EXPECT_EQ(read->children.size(), 2u);
    // An unchanged folder costs the writer its stamp alone: no file and no other column is written.
    db->commit();
    for (const char* what : {"INSERT", "UPDATE", "DELETE"}) executeOutside(forbid(what, "files"));
    executeOutside("CREATE TRIGGER forbid_place AFTER UPDATE OF parent_id, name, depth, modified, direct_alloc, "
                   "direct_files ON folders BEGIN SELECT RAISE(ABORT, 'forbidden'); END;");
    const auto result = scan.syncDirectory(same, &*read);
    EXPECT_EQ(result, (DirectorySyncResult{
                          .folderID = stored->id,
                          .childIDs = {{"s", db->folder("/r/s")->id}, {"t", db->folder("/r/t")->id}},
                          .newChildIDs = {},
                      }));
    EXPECT_TRUE(read->stampLeft);
    db->commit();
    EXPECT_NE(committed("SELECT scan_id FROM folders WHERE path = '/r'"), scan.id());
    // Stamps are written many at a time; a short chunk repeats its last id.
    scan.stampVisited({stored->id, db->folder("/r/s")->id});
    db->commit();
    EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE scan_id = " + std::to_string(scan.id())), 2);
    executeOutside("DROP TRIGGER forbid_place; DROP TRIGGER forbid_INSERT_files; DROP TRIGGER forbid_UPDATE_files; "
                   "DROP TRIGGER forbid_DELETE_files;");

    // The differences it read are written as a sync of its own would write them.
    std::vector<ScannedFile> changed = {file("a", 4096), file("b", 12288), file("d", 5)};
    auto later = folder("/r", std::nullopt, 0, changed, {"s", "u"});
    later.folderID = stored->id;
    auto differences = readBeside(path(), *db, later);
    ASSERT_TRUE(differences);
    EXPECT_FALSE(differences->rowCurrent);
    const auto written = scan.syncDirectory(later, &*differences);
    EXPECT_FALSE(differences->stampLeft);
    EXPECT_EQ(written.newFiles, 1);
    EXPECT_EQ(written.changedFiles, 1);
    EXPECT_EQ(written.deletedFiles, 1);
    EXPECT_EQ(written.deletedFolders, 1);
    EXPECT_EQ(written.newChildIDs.size(), 1u);
    db->commit();
    EXPECT_EQ(committed("SELECT direct_alloc FROM folders WHERE path = '/r'"), 4096 + 12288 + 5);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files WHERE folder_id = " + std::to_string(stored->id)), 3);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE path = '/r/t'"), 0);

    // No row at the path: nothing to compare against.
    EXPECT_FALSE(readBeside(path(), *db, folder("/elsewhere", std::nullopt, 0)));
}

TEST_F(DirectorySyncTest, AComparisonIsSetAsideOnceOtherWritesMayHaveOvertakenIt)
{
    std::vector<ScannedFile> files = {file("a", 4096), file("b", 8192)};
    const auto expectRowsAfter = [&](const std::function<void()>& meanwhile, const char* what) {
        SCOPED_TRACE(what);
        db->clearAll();
        scanTree("/r", {{.path = "/r", .files = files}, {.path = "/r/s", .files = {file("x", 1)}}});
        auto scan = db->startScan({"/r"});
        auto same = folder("/r", std::nullopt, 0, files, {"s"});
        same.folderID = scan.ensureRoot("/r", 1.0);
        auto read = readBeside(path(), *db, same);
        ASSERT_TRUE(read);
        ASSERT_TRUE(read->filesUnchanged());
        meanwhile();
        const auto result = scan.syncDirectory(same, &*read);
        db->commit();
        // The rows the comparison took as stored are written again: the listing wins.
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files WHERE folder_id = " + std::to_string(result.folderID)), 2);
        EXPECT_EQ(committed("SELECT direct_alloc FROM folders WHERE path = '/r'"), 4096 + 8192);
        EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE path = '/r/s'"), 1);
        EXPECT_EQ(result.childIDs.count("s"), 1u);
    };
    // A file taken away (moved to the Trash) after the comparison was read, committed at once.
    expectRowsAfter([&] { db->removeItem("/r/a"); }, "removed and committed");
    // The same taken away before it was read, but still in the open batch, unseen by the reader.
    db->clearAll();
    scanTree("/r", {{.path = "/r", .files = files}, {.path = "/r/s", .files = {file("x", 1)}}});
    {
        auto scan = db->startScan({"/r"});
        auto same = folder("/r", std::nullopt, 0, files, {"s"});
        same.folderID = scan.ensureRoot("/r", 1.0);
        db->deleteSubtree("/r/s");   // in the open batch
        auto read = readBeside(path(), *db, same);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->children.size(), 1u);   // the reader still sees it
        const auto result = scan.syncDirectory(same, &*read);
        EXPECT_EQ(result.newChildIDs.size(), 1u);
        db->commit();
        EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE path = '/r/s'"), 1);
    }
    // The whole cache emptied meanwhile: the ids it read may come back for other rows.
    expectRowsAfter([&] { db->clearAll(); }, "cleared");
}

TEST_F(DirectorySyncTest, AComparisonStaysGoodWhileOtherFoldersLoseSubfolders)
{
    const std::vector<ScannedFile> files = {file("a", 4096)};
    scanTree("/r", {{.path = "/r", .files = {}},
                    {.path = "/r/k", .files = files},
                    {.path = "/r/k/x", .files = {}},
                    {.path = "/r/gone", .files = {file("g", 1)}}});
    auto scan = db->startScan({"/r"});
    const auto rootID = scan.ensureRoot("/r", 1.0);
    auto kept = folder("/r/k", rootID, 1, files, {"x"});
    kept.folderID = db->folder("/r/k")->id;
    auto read = readBeside(path(), *db, kept);
    ASSERT_TRUE(read);

    // The parent's sync finds a sibling gone, and a subfolder of the compared folder's sibling too.
    auto parent = folder("/r", std::nullopt, 0, {}, {"k"});
    parent.folderID = rootID;
    EXPECT_EQ(scan.syncDirectory(parent).deletedFolders, 1);
    db->commit();
    // Not the compared folder's rows: the comparison holds, and its stamp is all there is to write.
    scan.syncDirectory(kept, &*read);
    EXPECT_TRUE(read->stampLeft);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM folders WHERE path = '/r/gone'"), 0);
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files WHERE name = 'g'"), 0);
}

TEST_F(DirectorySyncTest, AReaderBesideTheWriterSeesEachCommitAndWritesNothing)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}});
    SQLiteConnection reader(path(), SQLiteConnection::Access::readAlongside);
    EXPECT_EQ(reader.scalarInt("SELECT COUNT(*) FROM files"), 1);
    scanTree("/r", {{.path = "/r", .files = {file("a", 1), file("b", 2)}}});
    EXPECT_EQ(reader.scalarInt("SELECT COUNT(*) FROM files"), 2);
    EXPECT_EQ(sqliteFailure([&] { reader.execute("DELETE FROM files;"); }).code() & 0xff, SQLITE_READONLY);
}

TEST_F(DirectorySyncTest, AChangedFileRowHoldsTheListingWhicheverIndexedColumnsMoved)
{
    auto base = file("f.txt", 4096, 1000.0);
    base.fileExtension = "txt";
    const auto moved = [&](bool size, bool alloc, bool category) {
        ScannedFile f = base;
        f.modified += 5;
        f.accessed += 6;
        f.created += 7;
        f.countedAllocatedSize = 0;
        f.flags = FileItem::Flags::hardLink;
        f.inode = 99;
        if (size) f.size += 10;
        if (alloc) f.allocatedSize += 4096;
        if (category) f.category = StorageCategory::documents;
        return f;
    };
    for (int keys = 0; keys < 8; ++keys) {
        SCOPED_TRACE(keys);
        db->clearAll();
        auto scan = db->startScan({"/r"});
        scan.syncDirectory(folder("/r", std::nullopt, 0, {base}));
        const ScannedFile now = moved(keys & 1, keys & 2, keys & 4);
        EXPECT_EQ(scan.syncDirectory(folder("/r", std::nullopt, 0, {now})).changedFiles, 1);
        db->commit();
        const auto column = [&](const std::string& name) {
            return committed("SELECT " + name + " FROM files WHERE name = 'f.txt'");
        };
        EXPECT_EQ(column("size"), now.size);
        EXPECT_EQ(column("alloc"), now.allocatedSize);
        EXPECT_EQ(column("counted_alloc"), 0);
        EXPECT_EQ(column("CAST(modified AS INTEGER)"), 1005);
        EXPECT_EQ(column("CAST(created AS INTEGER)"), 1007);
        EXPECT_EQ(column("CAST(accessed AS INTEGER)"), 1006);
        EXPECT_EQ(column("flags"), FileItem::Flags::hardLink.rawValue);
        EXPECT_EQ(column("inode"), 99);
        EXPECT_EQ(column("category"), rawValue(now.category));
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files WHERE ext = 'txt'"), 1);
        // The indexes agree with the rows.
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files INDEXED BY files_size WHERE size = " + std::to_string(now.size)), 1);
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files INDEXED BY files_alloc WHERE alloc = " +
                            std::to_string(now.allocatedSize)), 1);
        EXPECT_EQ(committed("SELECT COUNT(*) FROM files INDEXED BY files_category WHERE category = " +
                            std::to_string(rawValue(now.category))), 1);
    }
}
