#include "analysis/SearchService.h"

#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "support/ScanSnapshots.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;
using ScanSnapshots::file;

ApplicationInfo application(std::string name, std::optional<std::string> bundleIdentifier)
{
    ApplicationInfo info;
    info.path = "/usr/share/applications/" + name + ".desktop";
    info.name = std::move(name);
    info.bundleIdentifier = std::move(bundleIdentifier);
    return info;
}

template <class Item>
Names names(const std::vector<Item>& items)
{
    Names result;
    for (const auto& item : items)
        result.push_back(item.name);
    return result;
}

// A cache holding /Users/a with a few files and a "Photo Library" folder below it.
class SearchServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto scanID = db.beginScan({root});
        const auto rootID = db.ensureRoot(root, 1000);
        DirectorySnapshot top = ScanSnapshots::folder(root, std::nullopt, rootID, 0);
        top.files = {file("photo-1.jpg", 3000, 3000), file("Installer.dmg", 2000, 2000),
                     file("notes.txt", 1000, 1000)};
        top.subdirectories = {{"Photo Library", 1000}};
        const auto children = db.syncDirectory(top, scanID).childIDs;
        DirectorySnapshot library =
            ScanSnapshots::folder(root + "/Photo Library", rootID, children.at("Photo Library"), 1);
        library.files = {file("PHOTO-2.heic", 5000, 5000)};
        db.syncDirectory(library, scanID);
        db.finishScan(scanID, {root}, ScanRecord::Status::completed, 0, 0, 0, 0, 0);
    }

    // Rows another connection sees: only what the cache has committed.
    std::int64_t committedFiles() { return SQLiteConnection(db.path()).scalarInt("SELECT COUNT(*) FROM files"); }

    const std::string root = "/Users/a";
    TempDir dir;
    StorageDatabase db{dir.file("ScanCache.sqlite")};
    const std::vector<ApplicationInfo> applications = {
        application("Google Chrome", "com.google.Chrome"),
        application("Photos", "org.gnome.Photos"),
        application("Shotwell", "org.gnome.PHOTO.Shotwell"),
        application("Chrome Remote Desktop", std::nullopt),
        application("Terminal", std::nullopt),
    };
};

TEST_F(SearchServiceTest, WhatEachKindOfSearchReads)
{
    struct Case {
        const char* text;
        Names files;
        Names folders;
        Names applications;
    };
    const std::vector<Case> cases = {
        {"", {}, {}, {}},
        {"photo", {"PHOTO-2.heic", "photo-1.jpg"}, {"Photo Library"}, {"Photos", "Shotwell"}},
        {"kind:file photo", {"PHOTO-2.heic", "photo-1.jpg"}, {}, {}},
        {"kind:folder photo", {}, {"Photo Library"}, {}},
        {"app:chrome", {}, {}, {"Google Chrome", "Chrome Remote Desktop"}},
        {"app:Chrome *.dmg", {"Installer.dmg"}, {}, {"Google Chrome", "Chrome Remote Desktop"}},
        {"kind:folder", {}, {}, {}},
        {"size > 2.5KB", {"PHOTO-2.heic", "photo-1.jpg"}, {"a", "Photo Library"}, {}},
    };
    for (const auto& c : cases) {
        const SearchResults results = SearchService::run(c.text, &db, applications);
        EXPECT_EQ(names(results.files), c.files) << c.text;
        EXPECT_EQ(names(results.folders), c.folders) << c.text;
        EXPECT_EQ(names(results.applications), c.applications) << c.text;
        EXPECT_GE(results.duration, 0.0);
        EXPECT_LT(results.duration, 10.0);
    }
}

TEST_F(SearchServiceTest, TheQueryIsReturnedWithItsApplicationName)
{
    const auto results = SearchService::run("app:Chrome *.dmg", &db, applications);
    EXPECT_EQ(results.query.applicationName, "Chrome");
    EXPECT_EQ(results.query.fileExtension, "dmg");
    EXPECT_EQ(results.query.kind, SearchQuery::Kind::files);
}

// A read commits the scanner's open batch; a search that needs no index must leave it alone.
TEST_F(SearchServiceTest, ApplicationOnlySearchesDoNotTouchTheIndex)
{
    const auto scanID = db.beginScan({"/Users/b"});
    const auto rootID = db.ensureRoot("/Users/b", 1000);
    DirectorySnapshot other = ScanSnapshots::folder("/Users/b", std::nullopt, rootID, 0);
    other.files = {file("late.txt", 10, 10)};
    db.syncDirectory(other, scanID);
    ASSERT_EQ(committedFiles(), 4);

    SearchService::run("app:Chrome", &db, applications);
    SearchService::run("kind:folder", &db, applications);
    EXPECT_EQ(committedFiles(), 4);

    SearchService::run("late", &db, applications);
    EXPECT_EQ(committedFiles(), 5);
}

TEST_F(SearchServiceTest, AFailingFolderQueryKeepsTheFiles)
{
    // The folder query reads total_dirs; the file query does not.
    SQLiteConnection(db.path()).execute("ALTER TABLE folders DROP COLUMN total_dirs;");
    const auto results = SearchService::run("photo", &db, applications);
    EXPECT_EQ(names(results.files), (Names{"PHOTO-2.heic", "photo-1.jpg"}));
    EXPECT_TRUE(results.folders.empty());
    EXPECT_EQ(names(results.applications), (Names{"Photos", "Shotwell"}));
}

TEST_F(SearchServiceTest, WithoutAnIndexOnlyApplicationsAreSearched)
{
    const auto results = SearchService::run("photo", nullptr, applications);
    EXPECT_TRUE(results.files.empty());
    EXPECT_TRUE(results.folders.empty());
    EXPECT_EQ(names(results.applications), (Names{"Photos", "Shotwell"}));
}

TEST(SearchServiceApplications, NamesAreComparedAsTheUsersLocaleFoldsThem)
{
    struct Case {
        const char* locale;
        const char* text;
        Names expected;
    };
    const std::vector<ApplicationInfo> applications = {
        application("İstanbul Maps", std::nullopt),
        application("Cafe\u0301 Menu", std::nullopt),
        application("STRASSE", "org.example.Strasse"),
        application("Äpfel", std::nullopt),
    };
    const std::vector<Case> cases = {
        {"en_US", "café", {"Cafe\u0301 Menu"}},
        {"en_US", "straße", {"STRASSE"}},
        {"en_US", "äPFEL", {"Äpfel"}},
        {"en_US", "istanbul", {}},
        {"tr_TR", "istanbul", {"İstanbul Maps"}},
    };
    const icu::Locale saved = icu::Locale::getDefault();
    for (const auto& c : cases) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(c.locale), status);
        EXPECT_EQ(names(SearchService::run(c.text, nullptr, applications).applications), c.expected)
            << c.locale << " " << c.text;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(saved, status);
}

} // namespace
