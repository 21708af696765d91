#include "index/SearchQuerySQL.h"

#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "index/UnicodeLower.h"
#include "support/PrivateMount.h"
#include "support/ScanSnapshots.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Names = std::vector<std::string>;

struct Case {
    SearchQuery query;
    Names expected;   // largest allocated size first
};

using ScanSnapshots::file;

// A small scanned tree, synced and finished as a scan would, so that folder totals are real.
class SearchQuerySQLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string root = "/Users/a";
        auto scan = db.startScan({root});
        const auto rootID = scan.ensureRoot(root, 4000);
        const auto top = sync(scan, root, std::nullopt, rootID, 0, 4000, {}, {"Downloads", "Documents", "Pictures"});
        sync(scan, root + "/Downloads", rootID, top.at("Downloads"), 1, 1500,
             {file("Summer 50%_off.pdf", 1000, 1000, 3000), file("50X-off.pdf", 900, 900),
              file("Installer.dmg", 10, 600'000'000, 500, StorageCategory::archives),
              file("Exact.bin", 5000, 4096)});
        sync(scan, root + "/Documents", rootID, top.at("Documents"), 1, 2500,
             {file("a\\b.txt", 800, 800), file("ab.txt", 700, 700),
              file("report.txt", 500, 500, 2000, StorageCategory::documents), file("Äpfel.txt", 400, 400),
              file("äpfel.csv", 300, 300)});
        const auto pictures =
            sync(scan, root + "/Pictures", rootID, top.at("Pictures"), 1, 4000, {file("cover.png", 50, 50)}, {"Été"});
        sync(scan, root + "/Pictures/Été", top.at("Pictures"), pictures.at("Été"), 2, 4000,
             {file("Clip.MOV", 200, 200, 1000, StorageCategory::videos), file("été.jpg", 100, 100)});
        scan.finish({.status = ScanRecord::Status::completed, .roots = {root}});
    }

    std::map<std::string, std::int64_t> sync(ScanSession& scan, const std::string& path,
                                             std::optional<std::int64_t> parentID, std::int64_t folderID, int depth,
                                             double modified, std::vector<ScannedFile> files,
                                             const std::vector<std::string>& subfolders = {})
    {
        DirectorySnapshot snapshot = ScanSnapshots::folder(path, parentID, folderID, depth, modified);
        snapshot.files = std::move(files);
        for (const auto& name : subfolders)
            snapshot.subdirectories.push_back({.name = name, .modified = 4000});
        return scan.syncDirectory(snapshot).childIDs;
    }

    Names fileNames(const SearchQuery& query) { return names(db.searchFiles(withLimit(query))); }
    Names folderNames(const SearchQuery& query) { return names(db.searchFolders(withLimit(query))); }

    static SearchQuery withLimit(SearchQuery query)
    {
        if (query.limit == 0)
            query.limit = 500;
        return query;
    }

    template <class Item>
    static Names names(const std::vector<Item>& items)
    {
        Names result;
        for (const auto& item : items)
            result.push_back(item.name);
        return result;
    }

    TempDir dir;
    StorageDatabase db{dir.file("ScanCache.sqlite")};
};

TEST_F(SearchQuerySQLTest, FileNamePatternsAreMatchedAsPlainTextOrGlobs)
{
    const std::vector<Case> cases = {
        {.query = {.nameContains = "50%_off"}, .expected = {"Summer 50%_off.pdf"}},
        {.query = {.nameContains = "a\\b"}, .expected = {"a\\b.txt"}},
        {.query = {.nameContains = "REPORT"}, .expected = {"report.txt"}},
        {.query = {.nameGlob = "*.DMG"}, .expected = {"Installer.dmg"}},
        {.query = {.nameGlob = "?b.txt"}, .expected = {"ab.txt"}},
        {.query = {.nameGlob = "[ar]*.txt"}, .expected = {"a\\b.txt", "ab.txt", "report.txt"}},
        // Both the pattern and the stored names fold beyond ASCII.
        {.query = {.nameGlob = "Ä*"}, .expected = {"Äpfel.txt", "äpfel.csv"}},
        {.query = {.nameGlob = "ÉTÉ.*"}, .expected = {"été.jpg"}},
        {.query = {.nameGlob = "[Ä]PFEL.*"}, .expected = {"Äpfel.txt", "äpfel.csv"}},
        {.query = {.nameGlob = "[unclosed"}, .expected = {}},
        {.query = {.fileExtension = "MOV"}, .expected = {"Clip.MOV"}},
        {.query = {.nameGlob = "*.txt", .nameContains = "pfel"}, .expected = {"Äpfel.txt"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileNames(c.query), c.expected) << testing::PrintToString(c.expected);
}

TEST_F(SearchQuerySQLTest, FileBoundsFoldersAndCategories)
{
    const std::vector<Case> cases = {
        // Allocated bytes count, not the logical size.
        {.query = {.minSize = 500'000'000}, .expected = {"Installer.dmg"}},
        {.query = {.maxSize = 300}, .expected = {"äpfel.csv", "Clip.MOV", "été.jpg", "cover.png"}},
        {.query = {.minSize = 4096, .maxSize = 4096}, .expected = {"Exact.bin"}},
        // The lower date bound includes its moment, the upper one does not.
        {.query = {.modifiedBefore = 1000}, .expected = {"Installer.dmg"}},
        {.query = {.modifiedBefore = 3000, .modifiedAfter = 2000}, .expected = {"report.txt"}},
        {.query = {.folderContains = "downloads"},
         .expected = {"Installer.dmg", "Exact.bin", "Summer 50%_off.pdf", "50X-off.pdf"}},
        {.query = {.folderContains = "/Été"}, .expected = {"Clip.MOV", "été.jpg"}},
        {.query = {.folderContains = "a/Doc", .maxSize = 750},
         .expected = {"ab.txt", "report.txt", "Äpfel.txt", "äpfel.csv"}},
        {.query = {.category = StorageCategory::videos}, .expected = {"Clip.MOV"}},
        {.query = {.fileExtension = "txt", .category = StorageCategory::documents}, .expected = {"report.txt"}},
        // No condition: the largest files, as many as the limit asks.
        {.query = {.limit = 3}, .expected = {"Installer.dmg", "Exact.bin", "Summer 50%_off.pdf"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileNames(c.query), c.expected) << testing::PrintToString(c.expected);
}

// Slices of two rows: the largest rows, those on the edges of a slice and the limit all
// come out as from one pass over the table.
TEST_F(SearchQuerySQLTest, FilesReadInSlicesAsInOnePass)
{
    SQLiteConnection reader(dir.file("ScanCache.sqlite"));
    UnicodeLower::registerFunction(reader);
    const std::vector<SearchQuery> queries = {
        {.nameContains = "."},
        {.nameContains = ".", .limit = 3},
        {.nameContains = "e", .limit = 1},
        {.nameGlob = "*.txt"},
        {.nameGlob = "Ä*", .limit = 1},
        {.nameContains = "no such name"},
        {.folderContains = "downloads", .limit = 2},
        {.folderContains = "/users/a", .minSize = 300, .maxSize = 1000},
        {.modifiedBefore = 3000, .modifiedAfter = 2000},
    };
    for (const auto& query : queries) {
        SearchQuery limited = withLimit(query);
        const Names whole = fileNames(limited);
        EXPECT_EQ(names(SearchQuerySQL(reader, 2).files(limited)), whole) << testing::PrintToString(whole);
        EXPECT_EQ(names(SearchQuerySQL(reader, 5).files(limited)), whole) << testing::PrintToString(whole);
    }
    EXPECT_EQ(fileNames({.nameContains = "."}).size(), 12u);
}

// A cache opened read-only, on a volume where not even its log index can be made: the
// slices read it as the connection they were given does.
TEST_F(SearchQuerySQLTest, FilesReadInSlicesFromACacheThatCannotBeWritten)
{
    KESTREL_IN_PRIVATE_MOUNTS();
    const TempDir closed;
    const std::string copy = closed.file("ScanCache.sqlite");
    db.commit();
    {
        SQLiteConnection source(dir.file("ScanCache.sqlite"));
        source.run("VACUUM INTO ?", {copy});
    }
    SQLiteConnection(copy).execute("PRAGMA journal_mode=WAL;");
    ASSERT_FALSE(fs::exists(copy + "-shm"));
    ASSERT_TRUE(PrivateMount::bindReadOnly(closed.path()));
    const PrivateMount::Unmounted unmounted{closed.path()};

    SQLiteConnection reader(copy, SQLiteConnection::Access::readOnly);
    UnicodeLower::registerFunction(reader);
    const SearchQuery all = withLimit({.nameContains = "."});
    const Names whole = names(SearchQuerySQL(reader, 1'000'000).files(all));
    ASSERT_EQ(whole.size(), 12u);
    EXPECT_EQ(names(SearchQuerySQL(reader, 2).files(all)), whole);
}

TEST_F(SearchQuerySQLTest, FolderConditions)
{
    const std::vector<Case> cases = {
        {.query = {.nameGlob = "é*"}, .expected = {"Été"}},
        {.query = {.nameContains = "DOWN"}, .expected = {"Downloads"}},
        {.query = {.folderContains = "/users/a/"}, .expected = {"Downloads", "Documents", "Pictures", "Été"}},
        {.query = {.folderContains = "/users/a/", .limit = 1}, .expected = {"Downloads"}},
        {.query = {.minSize = 2700}, .expected = {"a", "Downloads", "Documents"}},
        {.query = {.minSize = 350, .maxSize = 350}, .expected = {"Pictures"}},
        {.query = {.modifiedBefore = 2000}, .expected = {"Downloads"}},
        {.query = {.modifiedBefore = 3000, .modifiedAfter = 2000}, .expected = {"Documents"}},
        // Nothing a folder could match, or nothing asked at all: no rows.
        {.query = {.nameContains = "Downloads", .fileExtension = "dmg"}, .expected = {}},
        {.query = {.nameContains = "Downloads", .category = StorageCategory::downloads}, .expected = {}},
        {.query = {.kind = SearchQuery::Kind::folders}, .expected = {}},
        {.query = {.applicationName = "Chrome"}, .expected = {}},
        {.query = {}, .expected = {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(folderNames(c.query), c.expected) << testing::PrintToString(c.expected);
}

TEST(SearchQuerySQL, ContainsPatternEscapesLikeWildcards)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"50%_off", "%50\\%\\_off%"},
        {"a\\b", "%a\\\\b%"},
        {"\\%", "%\\\\\\%%"},
        {"", "%%"},
    };
    for (const auto& [text, pattern] : cases)
        EXPECT_EQ(SearchQuerySQL::containsPattern(text), pattern) << text;
}

} // namespace

TEST_F(SearchQuerySQLTest, FolderSubtreeIsTheFolderAndWhatLiesBelowItByteForByte)
{
    struct SubtreeCase {
        std::string folder;
        Names files;
        Names folders;
    };
    const std::vector<SubtreeCase> cases = {
        {.folder = "/Users/a/Pictures", .files = {"Clip.MOV", "été.jpg", "cover.png"}, .folders = {"Pictures", "Été"}},
        {.folder = "/Users/a/Pictures/", .files = {"Clip.MOV", "été.jpg", "cover.png"}, .folders = {"Pictures", "Été"}},
        {.folder = "/Users/a/Pictures/Été", .files = {"Clip.MOV", "été.jpg"}, .folders = {"Été"}},
        // A prefix of a name, another letter case or another folder's tail select nothing.
        {.folder = "/Users/a/Pic", .files = {}, .folders = {}},
        {.folder = "/users/a/pictures", .files = {}, .folders = {}},
        {.folder = "/Users/a/Pictures/été", .files = {}, .folders = {}},
        {.folder = "a/Pictures", .files = {}, .folders = {}},
        {.folder = "/", .files = {"Installer.dmg", "Exact.bin", "Summer 50%_off.pdf", "50X-off.pdf", "a\\b.txt", "ab.txt", "report.txt",
               "Äpfel.txt", "äpfel.csv", "Clip.MOV", "été.jpg", "cover.png"},
         .folders = {"a", "Downloads", "Documents", "Pictures", "Été"}},
    };
    for (const auto& c : cases) {
        SearchQuery query;
        query.folderSubtree = c.folder;
        EXPECT_EQ(fileNames(query), c.files) << c.folder;
        EXPECT_EQ(folderNames(query), c.folders) << c.folder;
    }
}
