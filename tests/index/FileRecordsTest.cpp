#include "index/FileRecords.h"

#include "support/FileItems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace {

FileItem file(std::int64_t id, std::string extension = "", std::optional<double> modified = std::nullopt)
{
    return fileAt("/tmp/f" + std::to_string(id), {.id = id, .fileExtension = std::move(extension), .modified = modified});
}

} // namespace

TEST(FileRecords, SortKeysPlaceAbsentValuesAtTheEnds)
{
    std::vector<FileItem> files = {file(1, "zip"), file(2, ""), file(3, "7z"), file(4, "a")};
    std::sort(files.begin(), files.end(), [](auto& a, auto& b) { return a.typeSortKey() < b.typeSortKey(); });
    EXPECT_EQ(files.back().id, 2);
    EXPECT_EQ(files.back().typeSortKey(), "~");

    std::vector<FileItem> dated = {file(1, "", 100.0), file(2), file(3, "", -5000.0), file(4, "", 0.0)};
    auto byModified = [](auto& a, auto& b) { return a.modifiedSortKey() < b.modifiedSortKey(); };
    std::sort(dated.begin(), dated.end(), byModified);
    EXPECT_EQ(dated.front().id, 2);   // before even dates before 1970
    std::sort(dated.rbegin(), dated.rend(), byModified);
    EXPECT_EQ(dated.back().id, 2);

    FileItem noCreated = file(9);
    EXPECT_DOUBLE_EQ(noCreated.createdSortKey(), -62135596800.0);
}

TEST(FileRecords, EqualityAndHashingCoverEveryField)
{
    FileItem a = file(7, "txt", 10.0);
    FileItem b = a;
    b.size = 1;
    EXPECT_NE(a, b);
    std::unordered_set<FileItem> set = {a, b};
    EXPECT_EQ(set.size(), 2u);

    // An absent date differs from a present zero date.
    FileItem absent = file(7);
    FileItem zero = file(7);
    zero.accessed = 0.0;
    EXPECT_NE(absent, zero);

    const FolderItem root = folderAt("/", {.id = 1});
    FolderItem child = root;
    child.parentID = 0;
    EXPECT_NE(root, child);
    EXPECT_EQ(std::unordered_set<FolderItem>({root, root}).size(), 1u);
}

TEST(FileRecords, FlagsBehaveAsABitSet)
{
    using Flags = FileItem::Flags;
    Flags five{5};
    EXPECT_TRUE(five.contains(Flags::hidden));
    EXPECT_TRUE(five.contains(Flags::hardLink));
    EXPECT_FALSE(five.contains(Flags::symlink));
    five.insert(Flags::symlink);
    EXPECT_EQ(five.rawValue, 7);

    struct Case { Flags result; std::int64_t expected; };
    const Case cases[] = {
        {.result = Flags{7} - Flags::hardLink, .expected = 3},
        {.result = Flags{7} ^ Flags{12}, .expected = 11},
        {.result = Flags{7} & Flags{12}, .expected = 4},
        {.result = Flags::hidden | Flags::invalidName, .expected = 9},
    };
    for (const auto& c : cases) EXPECT_EQ(c.result.rawValue, c.expected);

    EXPECT_TRUE(Flags{}.isEmpty());
    EXPECT_TRUE(Flags{}.isSubset(Flags::hidden));
    EXPECT_TRUE(Flags{3}.isSuperset(Flags::symlink));
    EXPECT_FALSE(Flags{3}.isSubset(Flags::symlink));
    EXPECT_TRUE(Flags{3}.isDisjoint(Flags{12}));
    EXPECT_FALSE(Flags{3}.contains(Flags{6}));
}

TEST(FileRecords, PathSafetyComparesCaseAndReason)
{
    EXPECT_EQ(PathSafety::caution("a"), PathSafety::caution("a"));
    EXPECT_NE(PathSafety::caution("a"), PathSafety::protected_("a"));
    EXPECT_NE(PathSafety::protected_("a"), PathSafety::protected_("b"));
    EXPECT_EQ(PathSafety(), PathSafety::allowed());
    EXPECT_TRUE(PathSafety::protected_("x").refuses());
    EXPECT_FALSE(PathSafety::caution("x").refuses());
    EXPECT_FALSE(PathSafety::allowed().refuses());
}
