#include "index/ScanRecords.h"

#include <gtest/gtest.h>

TEST(ScanRecords, StatusWordsAreExact)
{
    struct Case { const char* text; std::optional<ScanRecord::Status> status; };
    const Case cases[] = {
        {.text = "running", .status = ScanRecord::Status::running},
        {.text = "completed", .status = ScanRecord::Status::completed},
        {.text = "cancelled", .status = ScanRecord::Status::cancelled},
        {.text = "failed", .status = ScanRecord::Status::failed},
        {.text = "Completed", .status = std::nullopt},
        {.text = "canceled", .status = std::nullopt},
        {.text = "", .status = std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scanStatusFromRawValue(c.text), c.status) << c.text;
        if (c.status) {
            EXPECT_EQ(rawValue(*c.status), c.text);
        }
    }
}

TEST(ScanRecords, SearchQueryAdvancedAndEmptyIgnoreKindAndLimit)
{
    SearchQuery blank;
    blank.limit = 50;
    EXPECT_TRUE(blank.isEmpty());
    EXPECT_FALSE(blank.isAdvanced());

    SearchQuery named;
    named.nameGlob = "*.log";
    named.kind = SearchQuery::Kind::folders;
    EXPECT_FALSE(named.isEmpty());
    EXPECT_FALSE(named.isAdvanced());

    SearchQuery app;
    app.applicationName = "Safari";
    EXPECT_FALSE(app.isEmpty());
    EXPECT_FALSE(app.isAdvanced());

    SearchQuery folder;
    folder.folderContains = "Library";
    EXPECT_TRUE(folder.isAdvanced());
    SearchQuery category;
    category.category = StorageCategory::other;   // raw value 0 still counts as present
    EXPECT_TRUE(category.isAdvanced());
    EXPECT_FALSE(category.isEmpty());

    EXPECT_EQ(rawValue(allSearchKinds()[2]), "Folders");
}

TEST(ScanRecords, ErrorEntriesDifferingInMessageAreDistinct)
{
    ScanErrorEntry a{1, 10.0, "/a", "denied"};
    ScanErrorEntry b{1, 10.0, "/a", "vanished"};
    EXPECT_NE(a, b);
    EXPECT_NE(std::hash<ScanErrorEntry>{}(a), std::hash<ScanErrorEntry>{}(b));
}
