#include "index/StorageCategory.h"

#include <gtest/gtest.h>

#include <set>

TEST(StorageCategory, RawValuesRoundTripAndRejectOutOfRange)
{
    const auto& all = allStorageCategories();
    ASSERT_EQ(all.size(), 26u);
    EXPECT_EQ(all.front(), StorageCategory::other);
    EXPECT_EQ(all.back(), StorageCategory::cloudStorage);
    for (int i = 0; i < 26; ++i) {
        EXPECT_EQ(rawValue(all[static_cast<size_t>(i)]), i);
        EXPECT_EQ(storageCategoryFromRawValue(i), all[static_cast<size_t>(i)]);
    }
    for (std::int64_t raw : {-1LL, 26LL, 1LL << 40}) EXPECT_EQ(storageCategoryFromRawValue(raw), std::nullopt) << raw;
}

TEST(StorageCategory, TextsMatchTheirCategories)
{
    struct Case { StorageCategory category; const char* display; const char* symbol; };
    const Case cases[] = {
        {StorageCategory::other, "Other", "questionmark.folder"},
        {StorageCategory::developer, "Developer Files", "chevron.left.forwardslash.chevron.right"},
        {StorageCategory::nodeJS, "Node.js", "cube.box"},
        {StorageCategory::iOSBackups, "iOS Backups", "iphone"},
        {StorageCategory::archives, "Archives & Disk Images", "archivebox"},
        {StorageCategory::cloudStorage, "iCloud & Cloud Storage", "icloud"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(displayName(c.category), c.display);
        EXPECT_EQ(symbolName(c.category), c.symbol);
    }
    EXPECT_EQ(detectionNote(StorageCategory::documents), detectionNote(StorageCategory::downloads));
    EXPECT_EQ(detectionNote(StorageCategory::documents), detectionNote(StorageCategory::desktop));
    EXPECT_EQ(detectionNote(StorageCategory::archives), "Archives and disk images (.zip, .tar.gz, .7z, .iso \xE2\x80\xA6).");
    EXPECT_EQ(detectionNote(StorageCategory::other), "Files that didn't match any rule. Kestrelmoor doesn't guess.");
    // The categories a Linux disk fills say how in the places of Linux.
    for (const auto category : {StorageCategory::applications, StorageCategory::videos, StorageCategory::caches,
                                StorageCategory::logs, StorageCategory::archives, StorageCategory::system}) {
        const std::string note(detectionNote(category));
        for (const char* foreign : {"macOS", "Library/", "~/Movies", ".dmg", ".app)", "/private"})
            EXPECT_EQ(note.find(foreign), std::string::npos) << note;
    }
    EXPECT_EQ(detectionNote(StorageCategory::videos), "Video files, plus everything in ~/Videos.");

    // Search matches categories by display-name prefix, so names must be distinct.
    std::set<std::string_view> names;
    for (auto c : allStorageCategories()) names.insert(displayName(c));
    EXPECT_EQ(names.size(), 26u);
}
