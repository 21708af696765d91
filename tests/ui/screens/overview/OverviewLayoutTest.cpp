#include "ui/screens/overview/AdaptiveGrid.h"
#include "ui/screens/overview/OverviewRow.h"

#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(OverviewLayoutTest, ColumnsOfTheAdaptiveGrid)
{
    struct Row {
        int width, minimum, spacing, columns;
    };
    const Row rows[] = {
        {0, 150, 10, 1},   {149, 150, 10, 1}, {309, 150, 10, 1}, {310, 150, 10, 2},
        {790, 150, 10, 5}, {868, 150, 10, 5}, {950, 150, 10, 6}, {500, 0, 10, 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(AdaptiveGrid::columnCount(row.width, row.minimum, row.spacing), row.columns) << row.width;
}

TEST(OverviewLayoutTest, CardsStandSideBySideOnlyWhenBothFit)
{
    ensureApplication();
    struct Row {
        int width;
        bool sideBySide;
    };
    const Row rows[] = {{751, false}, {752, true}, {1200, true}, {400, false}};
    for (const Row& row : rows) {
        EXPECT_EQ(OverviewRow::fitsSideBySide(row.width, 440, 300, 12), row.sideBySide) << row.width;
        auto* first = new QWidget;
        auto* second = new QWidget;
        OverviewRow overview(first, 440, second, 300, 12);
        overview.resize(row.width, 200);
        overview.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(overview.isSideBySide(), row.sideBySide) << row.width;
        // Stacked, neither card keeps a minimum width.
        EXPECT_EQ(first->minimumWidth(), row.sideBySide ? 440 : 0);
        EXPECT_EQ(second->minimumWidth(), row.sideBySide ? 300 : 0);
    }
}

} // namespace
