#include "analysis/StorageAnalyzer.h"

#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include <map>

namespace {

constexpr double now = 1'800'000'000.0;
constexpr double day = 86'400.0;

ScannedFile file(std::string name, std::int64_t alloc, double modified, StorageCategory category,
                 std::int64_t counted = -1)
{
    ScannedFile f;
    f.name = std::move(name);
    f.size = alloc;
    f.allocatedSize = alloc;
    f.countedAllocatedSize = counted < 0 ? alloc : counted;
    f.modified = f.created = f.accessed = modified;
    f.category = category;
    return f;
}

struct Folder {
    std::string path;
    std::vector<ScannedFile> files;
    std::vector<std::string> children;
};

// Syncs the folders (parents first) as one completed scan of the first folder.
void index(StorageDatabase& db, const std::vector<Folder>& folders)
{
    const auto scan = db.beginScan({folders.front().path});
    std::map<std::string, std::int64_t> ids{{folders.front().path, db.ensureRoot(folders.front().path, 1.0)}};
    for (const Folder& folder : folders) {
        DirectorySnapshot s;
        s.path = folder.path;
        s.name = folder.path.substr(folder.path.rfind('/') + 1);
        s.depth = static_cast<int>(std::count(folder.path.begin(), folder.path.end(), '/')) - 1;
        s.modified = 1.0;
        s.folderID = ids.at(folder.path);
        if (folder.path != folders.front().path)
            s.parentID = ids.at(folder.path.substr(0, folder.path.rfind('/')));
        s.files = folder.files;
        for (const auto& child : folder.children)
            s.subdirectories.push_back({child, 1.0});
        for (const auto& [name, id] : db.syncDirectory(s, scan).childIDs)
            ids[folder.path + "/" + name] = id;
    }
    db.finishScan(scan, {folders.front().path}, ScanRecord::Status::completed, 1'000, 500, 0, 0, 0);
}

// Without `used`, a volume with no administrator's reserve: all that is not available is used.
VolumeInfo volume(std::int64_t total, std::int64_t strict, std::int64_t important,
                  std::optional<std::int64_t> used = std::nullopt)
{
    VolumeInfo v;
    v.name = "root";
    v.path = "/";
    v.totalCapacity = total;
    v.availableStrict = strict;
    v.availableForImportantUsage = important;
    v.usedCapacity = used.value_or(std::max<std::int64_t>(0, total - std::max(strict, important)));
    return v;
}

} // namespace

TEST(StorageAnalyzer, EmptyIndexGivesTheEmptySummary)
{
    TempDir dir;
    StorageDatabase db(dir.file("ScanCache.sqlite"));
    const StorageSummary summary = StorageAnalyzer::loadSummary(db, volume(1000, 100, 100), now);
    StorageSummary expected;
    expected.volume = volume(1000, 100, 100);
    EXPECT_EQ(summary, expected);
    EXPECT_FALSE(summary.unattributedBytes());
}

TEST(StorageAnalyzer, SummarizesTheIndex)
{
    using C = StorageCategory;
    constexpr std::int64_t large = StorageAnalyzer::recentLargeFileMinimum;
    TempDir dir;
    StorageDatabase db(dir.file("ScanCache.sqlite"));
    std::vector<ScannedFile> videos;
    for (int i = 0; i < 9; ++i)   // nine qualify; only eight are kept
        videos.push_back(file("clip" + std::to_string(i) + ".mov", large + i, now - 29 * day, C::videos));
    videos.push_back(file("old.mov", 5 * large, now - 31 * day, C::videos));
    videos.push_back(file("small.mov", large - 1, now - day, C::videos));
    index(db, {
                  {"/home", {}, {"alice"}},
                  {"/home/alice", {file("notes.txt", 4096, now, C::documents)}, {"Videos", "Music"}},
                  {"/home/alice/Videos", videos, {}},
                  // A second link whose bytes were counted elsewhere: its category holds no bytes.
                  {"/home/alice/Music", {file("link.mp3", 4096, now, C::music, 0)}, {}},
              });

    const StorageSummary summary = StorageAnalyzer::loadSummary(db, volume(2'000'000'000'000, 10, 10), now);
    EXPECT_EQ(summary.totals.fileCount, 13);
    EXPECT_EQ(summary.totals.folderCount, 4);

    ASSERT_EQ(summary.categories.size(), 2u);
    EXPECT_EQ(summary.categories[0].category, C::videos);
    EXPECT_EQ(summary.categories[1].category, C::documents);

    ASSERT_TRUE(summary.largestFile);
    EXPECT_EQ(summary.largestFile->name, "old.mov");

    // /home/alice is larger but only two components deep; what fills it is shown instead.
    ASSERT_TRUE(summary.largestFolder);
    EXPECT_EQ(summary.largestFolder->path, "/home/alice/Videos");

    ASSERT_EQ(summary.recentLargeFiles.size(), 8u);
    EXPECT_EQ(summary.recentLargeFiles.front().name, "clip8.mov");
    for (const auto& f : summary.recentLargeFiles)
        EXPECT_NE(f.name, "old.mov");

    ASSERT_TRUE(summary.lastScan);
    EXPECT_EQ(summary.lastScan->status, ScanRecord::Status::completed);
    EXPECT_EQ(summary.history.size(), 1u);
    EXPECT_FALSE(summary.applicationCount);
}

TEST(StorageAnalyzer, NoFolderDeepEnoughGivesNoLargestFolder)
{
    TempDir dir;
    StorageDatabase db(dir.file("ScanCache.sqlite"));
    index(db, {{"/home", {}, {"alice"}}, {"/home/alice", {file("a", 4096, now, StorageCategory::other)}, {}}});
    EXPECT_FALSE(StorageAnalyzer::loadSummary(db, std::nullopt, now).largestFolder);
}

TEST(StorageSummary, UnattributedBytesAreNeverNegative)
{
    constexpr std::int64_t GB = 1'000'000'000;
    const struct {
        std::optional<VolumeInfo> volume;
        std::int64_t indexed;
        std::int64_t categorized;
        std::optional<std::int64_t> unattributed;
    } cases[] = {
        {volume(1000 * GB, 400 * GB, 450 * GB), 300 * GB, 320 * GB, 250 * GB},
        {volume(1000 * GB, 400 * GB, 450 * GB), 600 * GB, 620 * GB, 0},
        {volume(1000 * GB, 450 * GB, 400 * GB), 100 * GB, 50 * GB, 500 * GB},   // categories below the index
        {volume(1000 * GB, 2000 * GB, 0), 1 * GB, 1 * GB, 0},                    // more free than total
        {volume(1000 * GB, 0, 0), 0, 0, std::nullopt},                           // nothing indexed yet
        // 270 GB of which 168 GB are the administrator's reserve: df's 22 GB used, not 190 GB.
        {volume(270 * GB, 80 * GB, 80 * GB, 22 * GB), 20 * GB, 20 * GB, 2 * GB},
        {volume(270 * GB, 80 * GB, 80 * GB, 22 * GB), 30 * GB, 30 * GB, 0},
        {std::nullopt, 300 * GB, 300 * GB, std::nullopt},
    };
    for (const auto& c : cases) {
        StorageSummary summary;
        summary.volume = c.volume;
        summary.totals.allocatedBytes = c.indexed;
        summary.categories = {{StorageCategory::videos, c.categorized / 2, 1},
                              {StorageCategory::documents, c.categorized - c.categorized / 2, 1}};
        EXPECT_EQ(summary.unattributedBytes(), c.unattributed) << c.indexed;
    }
}
