#include "ui/components/AdaptiveGrid.h"
#include "ui/screens/overview/OverviewRow.h"

#include "ui/support/UiTestSupport.h"

#include <QLabel>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

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
        if (row.sideBySide) {
            // Side by side, each card at least its minimum, the two filling the row.
            EXPECT_GE(first->width(), 440);
            EXPECT_GE(second->width(), 300);
            EXPECT_EQ(first->width() + 12 + second->width(), row.width);
            EXPECT_EQ(first->y(), second->y());
        } else {
            // Stacked, each card takes the whole width, whatever its minimum beside the other.
            EXPECT_EQ(first->width(), row.width);
            EXPECT_EQ(second->width(), row.width);
            EXPECT_GT(second->y(), first->y());
        }
    }
}

TEST(OverviewLayoutTest, HeightsFollowTheWidthInOnePass)
{
    ensureApplication();
    // A paragraph that needs more lines the narrower it is.
    auto wrapped = [] {
        auto* text = new QLabel(QString("Categories come from folder locations and file types. ").repeated(6));
        text->setWordWrap(true);
        return text;
    };
    QWidget page;
    auto* column = new QVBoxLayout(&page);
    auto* grid = new AdaptiveGrid(150, 10, 12, Qt::Alignment());
    std::vector<QLabel*> cells;
    for (int i = 0; i < 5; ++i) {
        cells.push_back(wrapped());
        grid->addCell(cells.back());
    }
    QLabel* first = wrapped();
    QLabel* second = wrapped();
    auto* overview = new OverviewRow(first, 440, second, 300, 12);
    column->addWidget(grid);
    column->addWidget(overview);
    column->addStretch(1);
    page.show();
    for (const int width : {1400, 900, 760, 740, 500, 320, 1100}) {
        page.resize(width, 3000);
        QCoreApplication::processEvents();
        SCOPED_TRACE(width);
        for (QLabel* label : cells)
            EXPECT_GE(label->height(), label->heightForWidth(label->width()));
        for (QLabel* label : {first, second})
            EXPECT_GE(label->height(), label->heightForWidth(label->width()));
        EXPECT_GE(overview->y(), grid->y() + grid->height());
        EXPECT_EQ(grid->columns(), AdaptiveGrid::columnCount(grid->width(), 150, 10));
    }
    // Hidden cells take no place.
    grid->setCellShown(cells[0], false);
    page.resize(500, 3000);
    QCoreApplication::processEvents();
    EXPECT_EQ(cells[1]->x(), grid->contentsRect().x());
}

} // namespace
