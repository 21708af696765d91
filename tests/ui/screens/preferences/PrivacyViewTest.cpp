#include "ui/screens/preferences/PrivacyView.h"

#include "ui/screens/preferences/PreferencesTestSupport.h"

#include "ui/components/AdaptiveGrid.h"

#include "ui/components/ElidedLabel.h"

#include <QLabel>
#include <QPushButton>

namespace {

class PrivacyViewTest : public PreferencesTest {};

TEST_F(PrivacyViewTest, ShowsWhereTheCacheLiesAndSendsDeletionToSettings)
{
    {
        // The cache in its usual place below the home folder.
        ScopedEnvironment home("HOME", cache.path());
        EXPECT_EQ(PrivacyView::cacheLocation(*model), "~/ScanCache.sqlite");
    }
    PrivacyView view(*model);
    EXPECT_EQ(view.findChild<ElidedLabel*>(QStringLiteral("cacheLocation"))->text(),
              QString::fromStdString(cache.file("ScanCache.sqlite")));
    view.findChild<QPushButton*>(QStringLiteral("showCache"))->click();
    ASSERT_EQ(desktop->revealed.size(), 1u);
    EXPECT_EQ(desktop->revealed.front(), std::vector<std::string>{cache.file("ScanCache.sqlite")});

    model->setSelection(SidebarItem::privacy);
    view.findChild<QPushButton*>(QStringLiteral("deleteScanData"))->click();
    EXPECT_EQ(model->selection(), SidebarItem::settings);
    EXPECT_GT(database->totals().fileCount, 0);
}

TEST_F(PrivacyViewTest, WithoutACacheNothingCanBeShown)
{
    auto bare = modelWithoutDatabase();
    PrivacyView view(*bare);
    EXPECT_EQ(view.findChild<ElidedLabel*>(QStringLiteral("cacheLocation"))->text(), "Not created");
    EXPECT_EQ(view.findChild<QPushButton*>(QStringLiteral("showCache")), nullptr);
    EXPECT_NE(view.findChild<QPushButton*>(QStringLiteral("deleteScanData")), nullptr);
}

TEST_F(PrivacyViewTest, ThePointsFillAsManyColumnsAsFitButTheContentStopsAt980)
{
    PrivacyView view(*model);
    const std::pair<int, int> widths[] = {{500, 1}, {600, 2}, {1000, 3}, {1600, 3}};
    for (const auto& [width, columns] : widths) {
        view.resize(width, 900);
        view.show();
        // The columns and the cards' heights follow the width over several layout passes.
        const auto settled = [&, columns = columns] {
            if (view.points()->columns() != columns) return false;
            for (QWidget* point : view.findChildren<QWidget*>(QStringLiteral("privacyPoint")))
                if (point->height() < PrivacyView::minimumPointHeight ||
                    point->height() >= 2 * PrivacyView::minimumPointHeight)
                    return false;
            return true;
        };
        waitUntil(settled);
        EXPECT_EQ(view.points()->columns(), columns) << width;
        EXPECT_LE(view.points()->width(), PrivacyView::maximumContentWidth);
        for (QWidget* point : view.findChildren<QWidget*>(QStringLiteral("privacyPoint"))) {
            EXPECT_GE(point->height(), PrivacyView::minimumPointHeight);
            // No card keeps the height of a narrower arrangement.
            EXPECT_LT(point->height(), 2 * PrivacyView::minimumPointHeight) << width;
        }
    }
    for (const auto& [width, name] : {std::pair{1000, "privacy-view"}, std::pair{520, "privacy-view-narrow"}}) {
        PrivacyView fresh(*model);
        fresh.resize(width, 700);
        fresh.show();
        letEventsRun(std::chrono::milliseconds(100));
        saveScreenshot(fresh, QString::fromLatin1(name));
    }
}

} // namespace
