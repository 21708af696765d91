#include "index/SearchQuerySQL.h"

#include "index/SQLiteConnection.h"
#include "index/ScanCacheSchema.h"
#include "index/UnicodeLower.h"
#include "platform/Paths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

// The cases name only the fields they set; the others keep their start values.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using Names = std::vector<std::string>;

struct Case {
    SearchQuery query;
    Names expected;   // largest allocated size first
};

class SearchQuerySQLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ScanCacheSchema::migrate(db);
        ASSERT_EQ(UnicodeLower::registerFunction(db.handle()), 0);

        const auto downloads = folder("/Users/a/Downloads", 9000, 1500);
        const auto documents = folder("/Users/a/Documents", 7000, 2500);
        const auto summer = folder("/Users/a/Pictures/Été", 8000, std::nullopt);

        file(downloads, "Summer 50%_off.pdf", 1000, 1000, 3000);
        file(downloads, "50X-off.pdf", 900, 900, std::nullopt);
        file(downloads, "Installer.dmg", 10, 600'000'000, 1000, StorageCategory::archives);
        file(downloads, "Exact.bin", 5000, 4096, std::nullopt);
        file(documents, "a\\b.txt", 800, 800, std::nullopt);
        file(documents, "ab.txt", 700, 700, std::nullopt);
        file(documents, "report.txt", 500, 500, 2000, StorageCategory::documents);
        file(documents, "Äpfel.txt", 400, 400, std::nullopt);
        file(documents, "äpfel.csv", 300, 300, std::nullopt);
        file(summer, "Clip.MOV", 200, 200, std::nullopt, StorageCategory::videos, "mov");
        file(summer, "été.jpg", 100, 100, std::nullopt);
    }

    std::int64_t folder(const std::string& path, std::int64_t totalAlloc, std::optional<double> modified)
    {
        db.run("INSERT INTO folders(path, name, depth, modified, total_alloc) VALUES(?, ?, 3, ?, ?)",
               {path, Paths::lastComponent(path), modified, totalAlloc});
        return db.lastInsertRowID();
    }

    void file(std::int64_t folderID, const std::string& name, std::int64_t size, std::int64_t alloc,
              std::optional<double> modified, StorageCategory category = StorageCategory::other,
              std::optional<std::string> ext = std::nullopt)
    {
        db.run("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, modified, category) "
               "VALUES(?, ?, ?, ?, ?, ?, ?, ?)",
               {folderID, name, ext.value_or(Paths::extension(name)), size, alloc, alloc, modified,
                rawValue(category)});
    }

    Names fileNames(const SearchQuery& query) { return names(search.files(withLimit(query))); }
    Names folderNames(const SearchQuery& query) { return names(search.folders(withLimit(query))); }

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
    SQLiteConnection db{dir.file("ScanCache.sqlite")};
    SearchQuerySQL search{db};
};

TEST_F(SearchQuerySQLTest, FileNamePatternsAreMatchedAsPlainTextOrGlobs)
{
    const std::vector<Case> cases = {
        {{.nameContains = "50%_off"}, {"Summer 50%_off.pdf"}},
        {{.nameContains = "a\\b"}, {"a\\b.txt"}},
        {{.nameContains = "REPORT"}, {"report.txt"}},
        {{.nameGlob = "*.DMG"}, {"Installer.dmg"}},
        {{.nameGlob = "?b.txt"}, {"ab.txt"}},
        {{.nameGlob = "[ar]*.txt"}, {"a\\b.txt", "ab.txt", "report.txt"}},
        // Both the pattern and the stored names fold beyond ASCII.
        {{.nameGlob = "Ä*"}, {"Äpfel.txt", "äpfel.csv"}},
        {{.nameGlob = "ÉTÉ.*"}, {"été.jpg"}},
        {{.nameGlob = "[Ä]PFEL.*"}, {"Äpfel.txt", "äpfel.csv"}},
        {{.nameGlob = "[unclosed"}, {}},
        {{.fileExtension = "MOV"}, {"Clip.MOV"}},
        {{.nameGlob = "*.txt", .nameContains = "pfel"}, {"Äpfel.txt"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileNames(c.query), c.expected) << testing::PrintToString(c.expected);
}

TEST_F(SearchQuerySQLTest, FileBoundsFoldersAndCategories)
{
    const std::vector<Case> cases = {
        // Allocated bytes count, not the logical size.
        {{.minSize = 500'000'000}, {"Installer.dmg"}},
        {{.maxSize = 300}, {"äpfel.csv", "Clip.MOV", "été.jpg"}},
        {{.minSize = 4096, .maxSize = 4096}, {"Exact.bin"}},
        // Files without a modification time match neither bound.
        {{.modifiedBefore = 2000}, {"Installer.dmg"}},
        {{.modifiedAfter = 2000}, {"Summer 50%_off.pdf", "report.txt"}},
        {{.folderContains = "downloads"}, {"Installer.dmg", "Exact.bin", "Summer 50%_off.pdf", "50X-off.pdf"}},
        {{.folderContains = "/Été"}, {"Clip.MOV", "été.jpg"}},
        {{.folderContains = "a/Doc", .maxSize = 750}, {"ab.txt", "report.txt", "Äpfel.txt", "äpfel.csv"}},
        {{.category = StorageCategory::videos}, {"Clip.MOV"}},
        {{.fileExtension = "txt", .category = StorageCategory::documents}, {"report.txt"}},
        // No condition: the largest files, as many as the limit asks.
        {{.limit = 3}, {"Installer.dmg", "Exact.bin", "Summer 50%_off.pdf"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileNames(c.query), c.expected) << testing::PrintToString(c.expected);
}

TEST_F(SearchQuerySQLTest, FolderConditions)
{
    const std::vector<Case> cases = {
        {{.nameGlob = "é*"}, {"Été"}},
        {{.nameContains = "DOWN"}, {"Downloads"}},
        {{.folderContains = "/users/a/"}, {"Downloads", "Été", "Documents"}},
        {{.folderContains = "/users/a/", .limit = 1}, {"Downloads"}},
        {{.minSize = 8000}, {"Downloads", "Été"}},
        {{.minSize = 7000, .maxSize = 7000}, {"Documents"}},
        {{.modifiedBefore = 2000}, {"Downloads"}},
        {{.modifiedAfter = 2000}, {"Documents"}},
        // Nothing a folder could match, or nothing asked at all: no rows.
        {{.nameContains = "Downloads", .fileExtension = "dmg"}, {}},
        {{.nameContains = "Downloads", .category = StorageCategory::downloads}, {}},
        {{.kind = SearchQuery::Kind::folders}, {}},
        {{.applicationName = "Chrome"}, {}},
        {{}, {}},
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
