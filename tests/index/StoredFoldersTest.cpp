#include "index/StoredFolders.h"
#include "index/ScanCacheTestSupport.h"

#include <functional>

class StoredFoldersTest : public ScanCacheFixture {};

namespace {

// Reads the folder digests through `shares` connections beside the writer, as a rescan does.
StoredFolders loadBeside(const std::string& path, StorageDatabase& db, std::size_t shares = 1)
{
    std::vector<std::unique_ptr<SQLiteConnection>> owned;
    std::vector<SQLiteConnection*> connections;
    for (std::size_t i = 0; i < shares; ++i) {
        owned.push_back(std::make_unique<SQLiteConnection>(path, SQLiteConnection::Access::readAlongside));
        connections.push_back(owned.back().get());
    }
    return StoredFolders::load(connections, db.rewritesCommitted());
}

} // namespace

TEST_F(StoredFoldersTest, AListingMatchesItsStoredRowsOnlyWhileNothingASyncWritesDiffers)
{
    const std::vector<ScannedFile> files = {file("a", 4096, 1000.25), file("b", 8192), file("c", 0)};
    scanTree("/r", {{.path = "/r", .files = files},
                    {.path = "/r/s", .files = {file("x", 1)}},
                    {.path = "/r/t", .files = {}}});
    const auto stored = loadBeside(path(), *db);
    const auto root = db->folder("/r");
    const auto entry = stored.root(root->id);
    ASSERT_TRUE(entry);
    const auto same = folder("/r", std::nullopt, 0, files, {"t", "s"});

    const auto match = stored.unchanged(*entry, same);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->folderID, root->id);
    EXPECT_FALSE(match->storedParentID);
    EXPECT_TRUE(match->sameNameAndDepth && match->rowCurrent && match->filesUnchanged());
    ASSERT_EQ(match->children.size(), 2u);
    EXPECT_EQ(match->children[0].id, db->folder("/r/t")->id);
    EXPECT_EQ(match->children[0].path, "/r/t");
    EXPECT_EQ(match->children[1].name, "s");
    // Listed in another order, the files are the same files.
    auto reordered = same;
    std::reverse(reordered.files.begin(), reordered.files.end());
    EXPECT_TRUE(stored.unchanged(*entry, reordered));

    const auto sub = stored.child(*entry, "s");
    ASSERT_TRUE(sub);
    const auto subMatch = stored.unchanged(*sub, folder("/r/s", root->id, 1, {file("x", 1)}));
    ASSERT_TRUE(subMatch);
    EXPECT_EQ(subMatch->storedParentID, root->id);
    EXPECT_FALSE(stored.child(*entry, "u"));

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
        {.what = "a subfolder was renamed", .change = [](auto& s) { s.subdirectories[0].name = "u"; }},
        {.what = "a subfolder is listed twice", .change = [](auto& s) { s.subdirectories[0].name = "s"; }},
        {.what = "the folder's date moved", .change = [](auto& s) { s.modified += 1; }},
        {.what = "the folder cannot be read now", .change = [](auto& s) { s.isRestricted = true; }},
        {.what = "the folder's category changed", .change = [](auto& s) { s.category = StorageCategory::documents; }},
        {.what = "the folder is deeper", .change = [](auto& s) { s.depth = 1; }},
        {.what = "the folder is elsewhere", .change = [](auto& s) { s.path = "/q"; }},
    };
    for (const auto& c : cases) {
        auto changed = same;
        c.change(changed);
        EXPECT_FALSE(stored.unchanged(*entry, changed)) << c.what;
    }
}

TEST_F(StoredFoldersTest, StoredRowsReadInSharesGiveTheSameAnswers)
{
    // Rows of one folder written by two scans lie apart, so that shares split them.
    std::vector<ScanCacheFixture::Entry> tree = {{.path = "/r", .files = {}}};
    for (int i = 0; i < 40; ++i) tree.push_back({"/r/d" + std::to_string(i), {file("f", 10 + i), file("g", 1)}});
    scanTree("/r", tree);
    for (int i = 0; i < 40; i += 3) tree[static_cast<std::size_t>(i) + 1].files.push_back(file("late", 4096));
    scanTree("/r", tree);

    const auto subfolders = [&] {
        std::vector<std::string> names;
        for (int i = 0; i < 40; ++i) names.push_back("d" + std::to_string(i));
        return names;
    }();
    for (const std::size_t shares : {1, 3, 8}) {
        SCOPED_TRACE(shares);
        const auto stored = loadBeside(path(), *db, shares);
        EXPECT_EQ(stored.size(), 41u);
        const auto root = stored.root(db->folder("/r")->id);
        ASSERT_TRUE(root);
        EXPECT_TRUE(stored.unchanged(*root, folder("/r", std::nullopt, 0, {}, subfolders)));
        const auto rootID = db->folder("/r")->id;
        for (int i = 0; i < 40; ++i) {
            const auto& entry = tree[static_cast<std::size_t>(i) + 1];
            const auto sub = stored.child(*root, "d" + std::to_string(i));
            ASSERT_TRUE(sub);
            EXPECT_TRUE(stored.unchanged(*sub, folder(entry.path, rootID, 1, entry.files))) << entry.path;
        }
    }
}

TEST_F(StoredFoldersTest, RowsThatNoListingCanMatchAreLeftToTheComparison)
{
    scanTree("/r", {{.path = "/r", .files = {file("a", 1)}}, {.path = "/r/s", .files = {}}});
    // A row never given a date, and file rows whose folder is gone.
    executeOutside("UPDATE folders SET modified = NULL WHERE path = '/r/s';"
                   "INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc) VALUES(9999, 'x', '', 1, 1, 1);");
    const auto stored = loadBeside(path(), *db, 2);
    const auto root = stored.root(db->folder("/r")->id);
    ASSERT_TRUE(root);
    EXPECT_TRUE(stored.unchanged(*root, folder("/r", std::nullopt, 0, {file("a", 1)}, {"s"})));
    const auto sub = stored.child(*root, "s");
    ASSERT_TRUE(sub);
    EXPECT_FALSE(stored.unchanged(*sub, folder("/r/s", db->folder("/r")->id, 1)));

    db->clearAll();
    const auto empty = loadBeside(path(), *db, 3);
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_FALSE(empty.root(1));
}

TEST_F(StoredFoldersTest, RecordedRowsAnswerAsLoadedOnesAndARepeatedFolderIsNeverUnchanged)
{
    const std::uint64_t seed = StoredFolders::newSeed();
    const auto top = folder("/r", std::nullopt, 0, {file("a", 1)}, {"s", "t"});
    const auto s = folder("/r/s", 1, 1, {file("x", 4096)}, {"u"});
    const auto t = folder("/r/t", 1, 1);
    StoredFolders::Recording recording(seed);
    // In the writer's order, which need not be the ids' order.
    recording.add(1, std::nullopt, "r", StoredFolders::digest(seed, top));
    recording.add(7, 1, "t", StoredFolders::digest(seed, t));
    recording.add(3, 1, "s", StoredFolders::digest(seed, s));
    recording.add(7, 1, "t", StoredFolders::digest(seed, t));
    recording.add(9, 3, "u", StoredFolders::unknownDigest);
    const StoredFolders stored = std::move(recording).finish();
    EXPECT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored.seed(), seed);

    const auto root = stored.root(1);
    ASSERT_TRUE(root);
    const auto same = stored.unchanged(*root, top);
    ASSERT_TRUE(same);
    ASSERT_EQ(same->children.size(), 2u);
    EXPECT_EQ(same->children[0].id, 3);
    EXPECT_EQ(same->children[1].id, 7);
    auto grown = top;
    grown.files[0].size += 1;
    EXPECT_FALSE(stored.unchanged(*root, grown));

    const auto sub = stored.child(*root, "s");
    ASSERT_TRUE(sub);
    EXPECT_TRUE(stored.unchanged(*sub, s));
    // A folder recorded with no digest is found, and never taken as unchanged.
    const auto unknown = stored.child(*sub, "u");
    ASSERT_TRUE(unknown);
    EXPECT_FALSE(stored.unchanged(*unknown, folder("/r/s/u", 3, 2)));

    const auto twice = stored.child(*root, "t");
    ASSERT_TRUE(twice);
    EXPECT_FALSE(stored.unchanged(*twice, t));
}
