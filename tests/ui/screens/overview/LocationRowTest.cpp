#include "ui/screens/overview/LocationRow.h"

#include "ui/support/UiTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "app/QtText.h"
#include "support/TestHome.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/TextStyle.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

class LocationRowTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }

    // The text of a part the row shows.
    QString text(const LocationRow& row, const char* name)
    {
        if (auto* label = row.findChild<QLabel*>(QLatin1String(name)); label && label->isVisibleTo(&row))
            return label->text();
        if (auto* elided = row.findChild<ElidedLabel*>(QLatin1String(name)); elided && elided->isVisibleTo(&row))
            return elided->text();
        return QStringLiteral("<missing>");
    }
};

TEST_F(LocationRowTest, ShowsTheStoredFiguresOrThatTheFolderWasNotScanned)
{
    TestHome home;
    FolderItem restricted;
    restricted.path = home.path() + "/Library";
    restricted.totalAllocated = 7'340'032;
    restricted.fileCount = 1234;
    restricted.isRestricted = true;
    FolderItem readable = restricted;
    readable.isRestricted = false;

    struct Case {
        std::string name;
        std::optional<FolderItem> folder;
        bool restrictedLabel;
        QString size;
        QString count;
        bool notScanned;
    };
    const QString size = qstr(ByteFormatter::string(7'340'032));
    const Case cases[] = {
        {"restricted", restricted, true, size, "1,234 files", false},
        {"one file", [&] { FolderItem one = readable; one.fileCount = 1; return one; }(), false, size, "1 file", false},
        {"readable", readable, false, size, "1,234 files", false},
        {"unscanned", std::nullopt, false, "<missing>", "<missing>", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocationRow row({"Library (User)", home.path() + "/Library", "building.columns", std::nullopt}, c.folder, {});
        EXPECT_EQ(text(row, "name"), "Library (User)");
        EXPECT_EQ(text(row, "path"), "~/Library");
        EXPECT_EQ(row.findChild<QWidget*>("restricted")->isVisibleTo(&row), c.restrictedLabel);
        EXPECT_EQ(text(row, "size"), c.size);
        EXPECT_EQ(text(row, "count"), c.count);
        EXPECT_EQ(text(row, "notScanned") == "Not scanned", c.notScanned);
    }
}

TEST_F(LocationRowTest, APathOutsideHomeIsShownAsItIs)
{
    LocationRow row({"System", "/System", "gearshape.2", StorageCategory::system}, std::nullopt, {});
    EXPECT_EQ(text(row, "path"), "/System");
}

TEST_F(LocationRowTest, TheSymbolTakesTheCategoryColourOrTheSecondaryOne)
{
    EXPECT_EQ(LocationRow::symbolTint({"Music", "/m", "music.note", StorageCategory::music}),
              categoryColor(StorageCategory::music));
    EXPECT_EQ(LocationRow::symbolTint({"Users", "/Users", "person.2", std::nullopt}),
              textColor(TextEmphasis::secondary));
}

TEST_F(LocationRowTest, AClickAnywhereOnTheRowRunsItsAction)
{
    int clicks = 0;
    LocationRow row({"Music", "/m", "music.note", StorageCategory::music}, std::nullopt, [&] { ++clicks; });
    row.resize(500, row.sizeHint().height());
    row.show();
    // No label takes the pointer, so a click on the name or the path reaches the row.
    for (const char* name : {"name", "path", "notScanned", "symbol"}) {
        auto* child = row.findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(child, nullptr) << name;
        EXPECT_EQ(row.childAt(child->geometry().center()), nullptr) << name;
    }
    row.click();
    row.click();
    EXPECT_EQ(clicks, 2);
}

} // namespace
