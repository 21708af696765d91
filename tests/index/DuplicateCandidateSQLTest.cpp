#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

ScannedFile file(std::string name, std::int64_t size, std::uint64_t inode = 0, FileItem::Flags flags = {})
{
    ScannedFile f;
    f.name = std::move(name);
    f.fileExtension = "bin";
    f.size = size;
    f.allocatedSize = size;
    f.countedAllocatedSize = size;
    f.modified = 1'700'000'000;
    f.flags = flags;
    f.inode = inode;
    return f;
}

class DuplicateCandidateSQLTest : public ::testing::Test {
protected:
    DuplicateCandidateSQLTest() : database(cache.file("ScanCache.sqlite")) { scan = database.startScan({"/"}); }

    void folder(const std::string& path, std::vector<ScannedFile> files)
    {
        DirectorySnapshot snapshot;
        snapshot.path = path;
        snapshot.name = path.substr(path.rfind('/') + 1);
        snapshot.folderID = scan->ensureRoot(path, 0);
        snapshot.files = std::move(files);
        scan->syncDirectory(snapshot);
    }

    std::vector<std::string> namesWithSize(std::int64_t size, const std::optional<std::string>& within,
                                           const std::vector<std::string>& excluding)
    {
        std::vector<std::string> names;
        for (const auto& row : database.filesWithSize(size, within, excluding))
            names.push_back(row.file.folderPath + "/" + row.file.name);
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir cache;
    StorageDatabase database;
    std::optional<ScanSession> scan;
};

} // namespace

TEST_F(DuplicateCandidateSQLTest, SizesLeaveOutLinksAndSmallFiles)
{
    folder("/data", {file("a", 100), file("b", 100), file("link", 100, 0, FileItem::Flags::symlink),
                     file("c", 300), file("link2", 300, 0, FileItem::Flags::symlink), file("d", 99), file("e", 99),
                     file("f", 5000), file("g", 5000), file("h", 5000)});

    using Sizes = std::vector<DuplicateCandidateSize>;
    EXPECT_EQ(database.duplicateCandidateSizes(100, std::nullopt, {}, 10), (Sizes{{5000, 3}, {100, 2}}));
    EXPECT_EQ(database.duplicateCandidateSizes(0, std::nullopt, {}, 10), (Sizes{{5000, 3}, {100, 2}, {99, 2}}));
    EXPECT_EQ(database.duplicateCandidateSizes(0, std::nullopt, {}, 1), (Sizes{{5000, 3}}));
    EXPECT_EQ(namesWithSize(300, std::nullopt, {}), (std::vector<std::string>{"/data/c"}));
}

TEST_F(DuplicateCandidateSQLTest, ScopeAndExclusionsFollowWholeSubtrees)
{
    folder("/Users/me", {file("top", 700)});
    folder("/Users/me/Library", {file("lib", 700)});
    folder("/Users/me/Library/Deep", {file("deep", 700)});
    folder("/Users/me2", {file("sibling", 700)});
    folder("/Users/me.bak", {file("backup", 700)});

    struct Case {
        std::optional<std::string> within;
        std::vector<std::string> excluding;
        int count;  // files of size 700 selected
        std::vector<std::string> names;
    } cases[] = {
        {.within = std::nullopt, .excluding = {}, .count = 5, .names = {}},
        {.within = "/Users/me",
         .excluding = {},
         .count = 3,
         .names = {"/Users/me/Library/Deep/deep", "/Users/me/Library/lib", "/Users/me/top"}},
        {.within = "/Users/me", .excluding = {"/Users/me/Library"}, .count = 0, .names = {"/Users/me/top"}},
        {.within = std::nullopt,
         .excluding = {"/Users/me/Library"},
         .count = 3,
         .names = {"/Users/me.bak/backup", "/Users/me/top", "/Users/me2/sibling"}},
        {.within = std::nullopt,
         .excluding = {"/Users/me", "/Users/me2"},
         .count = 0,
         .names = {"/Users/me.bak/backup"}},
        {.within = "/", .excluding = {"/Users/me/Library/Deep"}, .count = 4, .names = {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.within.value_or("(whole index)") + " less " + std::to_string(c.excluding.size()));
        auto sizes = database.duplicateCandidateSizes(1, c.within, c.excluding, 10);
        if (c.count == 0) {
            EXPECT_TRUE(sizes.empty());
        } else {
            EXPECT_EQ(sizes, (std::vector<DuplicateCandidateSize>{{.size = 700, .count = c.count}}));
        }
        if (!c.names.empty()) {
            EXPECT_EQ(namesWithSize(700, c.within, c.excluding), c.names);
        }
    }
}

TEST_F(DuplicateCandidateSQLTest, HardLinksComeBackWithTheirStoredInode)
{
    const std::uint64_t large = std::numeric_limits<std::uint64_t>::max() - 5;
    folder("/x", {file("one", 5000, 42, FileItem::Flags::hardLink), file("two", 5000, 42, FileItem::Flags::hardLink),
                  file("big", 6000, large), file("big2", 6000, 0)});

    EXPECT_EQ(database.duplicateCandidateSizes(0, std::nullopt, {}, 10),
              (std::vector<DuplicateCandidateSize>{{.size = 6000, .count = 2}, {.size = 5000, .count = 2}}));
    auto links = database.filesWithSize(5000, std::nullopt, {});
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].inode, 42u);
    EXPECT_EQ(links[1].inode, 42u);

    std::vector<std::uint64_t> inodes;
    for (const auto& row : database.filesWithSize(6000, "/x", {})) inodes.push_back(row.inode);
    std::sort(inodes.begin(), inodes.end());
    EXPECT_EQ(inodes, (std::vector<std::uint64_t>{0, large}));
}
