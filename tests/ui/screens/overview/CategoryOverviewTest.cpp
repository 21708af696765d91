#include "ui/screens/overview/CategoryOverview.h"

#include "ui/screens/overview/OverviewTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "support/ScannedTree.h"
#include "analysis/StorageAnalyzer.h"
#include "ui/components/CategoryDonutChart.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using C = StorageCategory;

std::vector<CategoryUsage> twelve()
{
    const C order[] = {C::videos, C::documents, C::developer, C::caches, C::music,   C::photos,
                       C::archives, C::logs,    C::mail,      C::downloads, C::trash, C::other};
    std::vector<CategoryUsage> result;
    std::int64_t bytes = 12'000;
    for (C category : order)
        result.push_back({category, bytes -= 1000, 1});
    return result;
}

using CategoryOverviewTest = OverviewModelTest;

TEST_F(CategoryOverviewTest, ShowsThePrefixButCountsEveryCategoryInTheCentre)
{
    struct Row {
        int limit;
        std::vector<CategoryUsage> categories;
        int rows;
    };
    std::vector<CategoryUsage> ties{{C::music, 500, 1}, {C::documents, 500, 1}, {C::logs, 0, 1}};
    const Row rows[] = {{10, twelve(), 10}, {12, twelve(), 12}, {10, ties, 3}, {10, {}, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.limit);
        StorageSummary summary;
        summary.categories = row.categories;
        CategoryOverview view(*model, summary, row.limit);
        const auto buttons = view.rows();
        ASSERT_EQ(static_cast<int>(buttons.size()), row.rows);
        const auto shown = CategoryOverview::shown(row.categories, row.limit);
        for (int index = 0; index < row.rows; ++index)
            EXPECT_EQ(buttons[index]->toolTip().toStdString(), detectionNote(shown[static_cast<std::size_t>(index)].category));
        auto* chart = view.findChild<CategoryDonutChart*>();
        ASSERT_NE(chart, nullptr);
        EXPECT_EQ(chart->centerLines().second,
                  QString::fromStdString(ByteFormatter::string(CategoryOverview::scannedTotal(row.categories))));
        EXPECT_NE(view.findChild<QLabel*>("categoryNote"), nullptr);
    }
    EXPECT_EQ(CategoryOverview::scannedTotal(twelve()), 11'000 + 10'000 + 9'000 + 8'000 + 7'000 + 6'000 + 5'000 +
                                                            4'000 + 3'000 + 2'000 + 1'000 + 0);
    // Equal sizes keep the index's order.
    EXPECT_EQ(CategoryOverview::shown(ties, 2)[0].category, C::music);
}

TEST_F(CategoryOverviewTest, ANewSummaryFillsTheSameRows)
{
    StorageSummary summary;
    summary.categories = twelve();
    CategoryOverview view(*model, summary, 12);
    const auto before = view.rows();
    ASSERT_EQ(before.size(), 12u);
    summary.categories = {{C::photos, 9'000, 3}, {C::videos, 1'000, 1}};
    view.setSummary(summary);
    const auto after = view.rows();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[0]->findChildren<QLabel*>()[1]->text(), "Photos");
    EXPECT_EQ(view.findChild<CategoryDonutChart*>()->centerLines().second,
              QString::fromStdString(ByteFormatter::string(10'000)));
    // The row now stands for the new category.
    after[1]->click();
    EXPECT_EQ(model->largestFilesCategory(), C::videos);
}

TEST_F(CategoryOverviewTest, ChoosingACategoryFiltersTheLargestFilesBeforeSwitchingScreens)
{
    TempDir tree;
    tree.write("disk/Documents/a.pdf", 30'000);
    tree.write("disk/Movies/b.mov", 90'000);
    ScannedTree scanned;
    scanned.scan({tree.file("disk")});
    const StorageSummary summary = StorageAnalyzer::loadSummary(scanned.database, std::nullopt, 0);
    ASSERT_FALSE(summary.categories.empty());
    EXPECT_EQ(summary.categories, scanned.database.categoryTotals());

    CategoryOverview view(*model, summary, 10);
    const auto buttons = view.rows();
    ASSERT_EQ(buttons.size(), summary.categories.size());
    std::optional<StorageCategory> filterWhenSwitching;
    QObject::connect(model.get(), &AppModel::selectionChanged,
                     [&] { filterWhenSwitching = model->largestFilesCategory(); });
    buttons.back()->click();
    EXPECT_EQ(model->selection(), SidebarItem::largestFiles);
    EXPECT_EQ(filterWhenSwitching, summary.categories.back().category);

    // The category already chosen: kept, and the screen still switches.
    model->setSelection(SidebarItem::dashboard);
    buttons.back()->click();
    EXPECT_EQ(model->selection(), SidebarItem::largestFiles);
    EXPECT_EQ(model->largestFilesCategory(), summary.categories.back().category);

    view.resize(560, 220);
    view.show();
    QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("category-overview"));
}

} // namespace
