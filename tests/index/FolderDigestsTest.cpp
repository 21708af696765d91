#include "index/DirectorySync.h"
#include "index/FolderDigests.h"
#include "index/ScanCacheTestSupport.h"

#include <functional>
#include <set>

class FolderDigestsTest : public ScanCacheFixture {
protected:
    // /r with three files and the subfolders s and t, synced with their digests.
    void syncWithDigests()
    {
        auto scan = db->startScan({"/r"});
        seed = scan.digestSeed();
        auto top = same;
        top.folderID = scan.ensureRoot("/r", 1.0);
        const auto result = scan.syncDirectory(top, nullptr, FolderDigests::of(seed, top));
        for (const auto& [name, id] : result.childIDs) {
            auto child = folder("/r/" + name, top.folderID, 1, {file("x", 1)});
            child.folderID = id;
            scan.syncDirectory(child, nullptr, FolderDigests::of(seed, child));
        }
        scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}});
    }
    std::int64_t digestRows(const std::string& where) { return committed("SELECT COUNT(*) FROM folder_digests WHERE " + where); }

    const std::vector<ScannedFile> files = {file("a", 4096, 1000.25), file("b", 8192), file("c", 0)};
    const DirectorySnapshot same = folder("/r", std::nullopt, 0, files, {"t", "s"});
    std::uint64_t seed = 0;
};

TEST_F(FolderDigestsTest, AListingGivesItsRowsDigestOnlyWhileNothingASyncWritesDiffers)
{
    seed = 42;
    const std::uint64_t digest = FolderDigests::of(seed, same);
    EXPECT_NE(digest, FolderDigests::unknown);
    EXPECT_NE(digest, FolderDigests::of(seed + 1, same));
    // Listed in another order, the files are the same files.
    auto reordered = same;
    std::reverse(reordered.files.begin(), reordered.files.end());
    EXPECT_EQ(FolderDigests::of(seed, reordered), digest);

    struct Case {
        const char* what;
        std::function<void(DirectorySnapshot&)> change;
    };
    const Case cases[] = {
        {.what = "a file grew", .change = [](auto& s) { s.files[1].size += 1; }},
        {.what = "a file's blocks changed", .change = [](auto& s) { s.files[1].allocatedSize += 4096; }},
        // Within the comparison's tolerance, but not the same time: the comparison decides.
        {.what = "a file's time moved a little", .change = [](auto& s) { s.files[0].modified += 0.0004; }},
        {.what = "a file became a further link", .change = [](auto& s) { s.files[0].countedAllocatedSize = 0; }},
        {.what = "a file got a flag", .change = [](auto& s) { s.files[2].flags.insert(FileItem::Flags::hidden); }},
        {.what = "another file took a name", .change = [](auto& s) { s.files[2].inode = 99; }},
        {.what = "a file was renamed", .change = [](auto& s) { s.files[2].name = "d"; }},
        {.what = "a file came", .change = [](auto& s) { s.files.push_back(ScanCacheFixture::file("d", 1)); }},
        {.what = "a file went", .change = [](auto& s) { s.files.pop_back(); }},
        {.what = "a file is listed twice", .change = [](auto& s) { s.files[2] = s.files[1]; }},
        {.what = "a subfolder came",
         .change = [](auto& s) { s.subdirectories.push_back({.name = "u", .modified = 600.0}); }},
        {.what = "a subfolder went", .change = [](auto& s) { s.subdirectories.pop_back(); }},
        {.what = "the folder's date moved", .change = [](auto& s) { s.modified += 1; }},
        {.what = "the folder cannot be read now", .change = [](auto& s) { s.isRestricted = true; }},
        {.what = "the folder's category changed", .change = [](auto& s) { s.category = StorageCategory::documents; }},
        {.what = "the folder is deeper", .change = [](auto& s) { s.depth = 1; }},
        {.what = "the folder is elsewhere", .change = [](auto& s) { s.path = "/q"; }},
    };
    for (const auto& c : cases) {
        auto changed = same;
        c.change(changed);
        EXPECT_NE(FolderDigests::of(seed, changed), digest) << c.what;
    }
}

TEST_F(FolderDigestsTest, AListingSummedInPartsHasTheDigestOfTheWholeListing)
{
    seed = 42;
    // The positions of the files handed in each part; the last piece keeps the others.
    const std::vector<std::vector<std::vector<std::size_t>>> splits = {
        {{0}}, {{2}, {0}}, {{1, 2}}, {{0, 1, 2}}, {{2}, {1}, {0}}};
    for (const auto& parts : splits) {
        FolderDigests::FileSum parted;
        std::set<std::size_t> handed;
        for (const auto& part : parts) {
            std::vector<ScannedFile> files;
            for (const std::size_t position : part) {
                files.push_back(same.files[position]);
                handed.insert(position);
            }
            parted.add(seed, files);
        }
        auto last = same;
        last.files.clear();
        for (std::size_t position = 0; position < same.files.size(); ++position)
            if (!handed.contains(position))
                last.files.push_back(same.files[position]);
        EXPECT_EQ(FolderDigests::of(seed, last, parted), FolderDigests::of(seed, same)) << parts.size();
    }
}

TEST_F(FolderDigestsTest, AComparisonReadsNoFileRowWhereTheStoredDigestMatches)
{
    syncWithDigests();
    SQLiteConnection reader(path(), SQLiteConnection::Access::readAlongside);
    auto listed = same;
    listed.parentID = std::nullopt;
    // A row changed behind the digest's back: only a comparison that reads the rows finds it.
    executeOutside("DROP TRIGGER folder_digests_file_changed; UPDATE files SET size = 7 WHERE name = 'b';");
    const auto matched = DirectorySync::compare(reader, listed, 0, FolderDigests::of(seed, listed));
    ASSERT_TRUE(matched);
    EXPECT_TRUE(matched->filesUnchanged());
    EXPECT_EQ(matched->storedDigest, FolderDigests::of(seed, listed));
    EXPECT_EQ(matched->children.size(), 2u);

    const auto compared = DirectorySync::compare(reader, listed, 0, FolderDigests::unknown);
    ASSERT_TRUE(compared);
    EXPECT_EQ(compared->files.size(), 1u);
}

TEST_F(FolderDigestsTest, AnyOtherWriteOfAFoldersRowsDropsItsDigestWhoeverWritesIt)
{
    struct Case {
        const char* what;
        std::string sql;
        bool digestKept;   // of /r
        bool sumsKept;
        bool rowsKept;     // the cache's writer's rows mark
    };
    const std::string r = "(SELECT id FROM folders WHERE path = '/r')";
    const Case cases[] = {
        {"a file row inserted", "INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc) VALUES(" + r +
                                    ", 'n', '', 1, 1, 1)", false, false, false},
        {"a file row deleted", "DELETE FROM files WHERE name = 'a'", false, false, false},
        {"a file row changed", "UPDATE files SET size = 7 WHERE name = 'a'", false, false, false},
        {"a file moved here", "UPDATE files SET folder_id = " + r + " WHERE name = 'x'", false, false, false},
        {"the folder's date", "UPDATE folders SET modified = 1 WHERE path = '/r'", false, true, false},
        {"the folder's figures", "UPDATE folders SET direct_files = 9 WHERE path = '/r'", false, true, false},
        {"the folder row deleted", "DELETE FROM folders WHERE path = '/r'", false, false, false},
        {"a visit stamp", "UPDATE folders SET scan_id = 99", true, true, false},
        {"a subfolder moved", "UPDATE folders SET parent_id = NULL WHERE path = '/r/s'", true, true, false},
        {"a folder row inserted", "INSERT INTO folders(path, name) VALUES('/elsewhere', 'elsewhere')", true, true, false},
        {"the totals", "UPDATE folders SET total_alloc = 1, total_files = 2", true, true, true},
        {"the error log", "INSERT INTO errors(timestamp, path, message) VALUES(1, '/x', 'y')", true, true, true},
    };
    for (const auto& c : cases) {
        db->clearAll();
        syncWithDigests();
        ASSERT_EQ(digestRows("folder_id = " + r), 1) << c.what;
        ASSERT_EQ(digestRows("folder_id = 0"), 1) << c.what;
        auto scan = db->startScan({"/r"});
        ASSERT_EQ(digestRows("folder_id < 0"), 1) << c.what;   // set by the last commit
        executeOutside(c.sql);
        EXPECT_EQ(digestRows("folder_id = " + r), c.digestKept ? 1 : 0) << c.what;
        EXPECT_EQ(digestRows("folder_id = 0"), c.sumsKept ? 1 : 0) << c.what;
        EXPECT_EQ(digestRows("folder_id < 0"), c.rowsKept ? 1 : 0) << c.what;
        // The scan under way counts another writer's commit only where the mark went.
        const auto finished = scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}});
        EXPECT_EQ(finished.status, c.rowsKept ? ScanRecord::Status::completed : ScanRecord::Status::cancelled)
            << c.what;
    }
}

TEST_F(FolderDigestsTest, ABulkLoadKeepsTheDigestsItWroteUnlessAnotherWriterCommittedRows)
{
    for (const bool otherWriter : {false, true}) {
        SCOPED_TRACE(otherWriter);
        db->clearAll();
        auto scan = db->startScan({"/r"});
        ASSERT_TRUE(scan.beginBulkLoad());
        EXPECT_EQ(committed("SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger'"),
                  7 - static_cast<std::int64_t>(FolderDigests::bulkLoadDroppedTriggers));
        auto top = folder("/r", std::nullopt, 0, {file("a", 1)});
        top.folderID = scan.ensureRoot("/r", 1.0);
        scan.syncDirectory(top, nullptr, FolderDigests::of(scan.digestSeed(), top));
        db->commit();
        if (otherWriter) executeOutside("UPDATE folders SET scan_id = 0");
        scan.finish({.status = ScanRecord::Status::completed, .roots = {"/r"}});
        EXPECT_EQ(committed("SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger'"), 7);
        EXPECT_EQ(digestRows("folder_id > 0"), otherWriter ? 0 : 1);
        EXPECT_EQ(db->lastScan()->status, otherWriter ? ScanRecord::Status::cancelled : ScanRecord::Status::completed);
    }
}
