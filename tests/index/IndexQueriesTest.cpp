#include "index/ScanCacheTestSupport.h"

#include <algorithm>

class IndexQueriesTest : public ScanCacheFixture {};

namespace {

std::vector<std::string> folderPaths(const std::vector<FileItem>& files)
{
    std::vector<std::string> paths;
    for (const auto& f : files) paths.push_back(f.folderPath + "/" + f.name);
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::string> paths(const std::vector<FolderItem>& folders)
{
    std::vector<std::string> result;
    for (const auto& f : folders) result.push_back(f.path);
    return result;
}

} // namespace

TEST_F(IndexQueriesTest, AnEmptyIndexAnswersWithNothing)
{
    EXPECT_TRUE(db->largestFiles(10).empty());
    EXPECT_TRUE(db->rootFolders().empty());
    EXPECT_TRUE(db->largestFolders(10, 5).empty());
    EXPECT_TRUE(db->categoryTotals().empty());
    EXPECT_TRUE(db->history(10).empty());
    EXPECT_FALSE(db->folder("/"));
    EXPECT_FALSE(db->lastScan());
    EXPECT_EQ(db->totals(), (ScanTotals{.fileCount = 0,
                                        .folderCount = 0,
                                        .allocatedBytes = 0,
                                        .restrictedFolders = 0}));
}

TEST_F(IndexQueriesTest, LargestFilesStayInsideTheirSubtree)
{
    auto scan = db->startScan({"/"});
    auto media = file("movie", 900);
    media.category = StorageCategory::videos;
    scan.syncDirectory(folder("/Users", std::nullopt, 1, {file("u", 300)}));
    scan.syncDirectory(folder("/Users/me", std::nullopt, 2, {media, file("small", 10)}));
    scan.syncDirectory(folder("/Users2", std::nullopt, 1, {file("u2", 500)}));
    scan.syncDirectory(folder("/Users.bak", std::nullopt, 1, {file("bak", 400)}));

    struct Case { std::optional<std::string> within; std::optional<StorageCategory> category; std::int64_t minimum;
                  std::vector<std::string> expected; };
    const Case cases[] = {
        {.within = "/",
         .category = std::nullopt,
         .minimum = 0,
         .expected = {"/Users.bak/bak", "/Users/me/movie", "/Users/me/small", "/Users/u", "/Users2/u2"}},
        {.within = "/Users",
         .category = std::nullopt,
         .minimum = 0,
         .expected = {"/Users/me/movie", "/Users/me/small", "/Users/u"}},
        {.within = "/Users/", .category = std::nullopt, .minimum = 0, .expected = {}},
        {.within = std::nullopt, .category = StorageCategory::videos, .minimum = 0, .expected = {"/Users/me/movie"}},
        {.within = "/Users", .category = std::nullopt, .minimum = 300, .expected = {"/Users/me/movie", "/Users/u"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(folderPaths(db->largestFiles(10, c.category, c.within, c.minimum)), c.expected)
            << c.within.value_or("(anywhere)");
    }
    const auto top = db->largestFiles(2);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].name, "movie");
    EXPECT_EQ(top[1].name, "u2");
    EXPECT_EQ(top[0].category, StorageCategory::videos);
}

TEST_F(IndexQueriesTest, StoredValuesMapByTheReadingRules)
{
    scanTree("/r", {{.path = "/r", .files = {file("plain", 10)}}});
    executeOutside("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, created, modified, accessed, "
                   "flags, category) SELECT id, 'odd', 'txt', 1, 20, 20, 0.0, -5.0, NULL, 5, 99 FROM folders;"
                   "INSERT INTO scans(started, status, roots) VALUES(NULL, NULL, '/a' || char(10) || char(10) || '/b');"
                   "INSERT INTO scans(started, status, roots) VALUES(3.0, 'Completed', NULL);"
                   "INSERT INTO category_totals VALUES(99, 5, 1);");
    const auto odd = db->largestFiles(1).at(0);
    EXPECT_EQ(odd.name, "odd");
    EXPECT_FALSE(odd.created);
    EXPECT_FALSE(odd.modified);
    EXPECT_FALSE(odd.accessed);
    EXPECT_EQ(odd.flags.rawValue, 5);
    EXPECT_EQ(odd.category, StorageCategory::other);
    EXPECT_EQ(odd.fileExtension, "txt");
    EXPECT_EQ(odd.folderPath, "/r");
    const auto plain = db->largestFiles(2).at(1);
    EXPECT_EQ(plain.modified, 1000.0);

    const auto last = db->lastScan();
    EXPECT_EQ(last->status, ScanRecord::Status::failed);
    EXPECT_TRUE(last->roots.empty());
    EXPECT_FALSE(last->finished);
    executeOutside("DELETE FROM scans WHERE status = 'Completed';");
    const auto nullStatus = db->lastScan();
    EXPECT_EQ(nullStatus->status, ScanRecord::Status::failed);
    EXPECT_EQ(nullStatus->roots, (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(nullStatus->started, 0.0);

    const auto usages = db->categoryTotals();
    EXPECT_EQ(usages.size(), 2u);   // the unknown category is still listed, as other
    EXPECT_TRUE(std::all_of(usages.begin(), usages.end(),
                            [](const CategoryUsage& u) { return u.category == StorageCategory::other; }));

    const auto root = db->folder("/r");
    EXPECT_FALSE(root->parentID);
    EXPECT_EQ(root->modified, 500.0);
    EXPECT_TRUE(root->lastScanned);
}

TEST_F(IndexQueriesTest, FolderListsFollowDepthNameAndRestriction)
{
    scanTree("/w", {{.path = "/w", .files = {file("w", 1)}},
                    {.path = "/w/a", .files = {}},
                    {.path = "/w/a/node_modules", .files = {file("n1", 100)}},
                    {.path = "/w/a/node_modules/b", .files = {}},
                    {.path = "/w/a/node_modules/b/node_modules", .files = {file("n2", 50)}},
                    {.path = "/w/node_modulesX", .files = {file("x", 10)}}});

    EXPECT_TRUE(db->largestFolders(10, 0).empty());
    EXPECT_EQ(paths(db->largestFolders(10, 1)), (std::vector<std::string>{"/w/a", "/w/node_modulesX"}));
    EXPECT_EQ(paths(db->folders("node_modules", true, 10)), std::vector<std::string>{"/w/a/node_modules"});
    EXPECT_EQ(paths(db->folders("node_modules", false, 10)),
              (std::vector<std::string>{"/w/a/node_modules", "/w/a/node_modules/b/node_modules"}));
    EXPECT_EQ(paths(db->childFolders(db->folder("/w")->id, 1)), std::vector<std::string>{"/w/a"});
    EXPECT_EQ(paths(db->rootFolders()), std::vector<std::string>{"/w"});

    executeOutside("UPDATE folders SET restricted = 1 WHERE path IN ('/w/node_modulesX', '/w/a/node_modules/b', "
                   "'/w/a');");
    EXPECT_EQ(paths(db->restrictedFolders(2)), (std::vector<std::string>{"/w/a", "/w/node_modulesX"}));
    EXPECT_EQ(db->totals().restrictedFolders, 3);
}

TEST_F(IndexQueriesTest, TotalsCountRootsAsFolders)
{
    std::vector<Entry> first = {{.path = "/p", .files = {file("p", 1)}}};
    for (int i = 0; i < 10; ++i) first.push_back({"/p/" + std::to_string(i), {}});
    scanTree("/p", first);
    std::vector<Entry> second = {{.path = "/q", .files = {}}};
    for (int i = 0; i < 5; ++i) second.push_back({"/q/" + std::to_string(i), {file("q", 2)}});
    // Cancelled, so that /p stays a root beside /q.
    scanTree("/q", second, ScanRecord::Status::cancelled);
    EXPECT_EQ(db->totals(), (ScanTotals{.fileCount = 6,
                                        .folderCount = 17,
                                        .allocatedBytes = 11,
                                        .restrictedFolders = 0}));
}

TEST_F(IndexQueriesTest, HistoryAndRecentFilesReturnTheNewest)
{
    executeOutside("INSERT INTO history(timestamp, volume_total, volume_used, scanned_bytes) VALUES"
                   "(10, 1, 1, 1), (50, 5, 5, 5), (20, 2, 2, 2), (40, 4, 4, 4), (30, 3, 3, 3);");
    std::vector<double> dates;
    for (const auto& point : db->history(3)) dates.push_back(point.date);
    EXPECT_EQ(dates, (std::vector<double>{30, 40, 50}));

    auto scan = db->startScan({"/r"});
    scan.syncDirectory(folder("/r", std::nullopt, 0, {file("old", 900, 100.0), file("new", 800, 5000.0),
                                                     file("tiny", 1, 6000.0)}));
    const auto recent = db->recentLargeFiles(1000.0, 10, 10);
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0].name, "new");
}
