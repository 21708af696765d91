#include "ui/screens/overview/CategoryTable.h"

#include "ui/UiTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "index/StorageDatabase.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/UsageBar.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

using C = StorageCategory;

class CategoryTableTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }

    TempDir settings;
    AppModel model{std::make_shared<StorageDatabase>(settings.file("ScanCache.sqlite")),
                   emptyApplicationsStore(settings.path())};
};

TEST(CategoryTableShare, IsThePartOfTheCategorisedTotalAndNeverDividesByZero)
{
    struct Case {
        std::int64_t bytes;
        std::int64_t total;
        double share;
    };
    const Case cases[] = {
        {0, 0, 0.0}, {500, 1000, 0.5}, {1000, 1000, 1.0}, {1, 0, 1.0}, {3'000'000'000'000, 4'000'000'000'000, 0.75},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(CategoryTable::share(c.bytes, c.total), c.share) << c.bytes << " of " << c.total;
    EXPECT_EQ(CategoryTable::total({{C::videos, 700, 2}, {C::music, 300, 9}}), 1000);
}

TEST_F(CategoryTableTest, ShowsOneRowPerCategoryInTheGivenOrderWithItsFiguresAndBar)
{
    const std::vector<CategoryUsage> usages = {
        {C::videos, 3'000'000, 4}, {C::developer, 1'000'000, 12'345}, {C::logs, 0, 0}};
    CategoryTable table(model, usages);
    auto* grid = qobject_cast<QGridLayout*>(table.layout());
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->rowCount(), 4);

    auto text = [&](int row, int column) {
        return qobject_cast<QLabel*>(grid->itemAtPosition(row, column)->widget())->text();
    };
    EXPECT_EQ(text(0, 0), "Category");
    EXPECT_EQ(qobject_cast<ElidedLabel*>(grid->itemAtPosition(0, 4)->widget())->text(), "How it's detected");
    QStringList names;
    QStringList sizes;
    for (const CategoryUsage& usage : usages) {
        names.push_back(qstr(displayName(usage.category)));
        sizes.push_back(qstr(ByteFormatter::string(usage.bytes)));
    }
    const QStringList counts = {"4", "12,345", "0"};
    const double shares[] = {0.75, 0.25, 0.0};
    for (int row = 1; row <= 3; ++row) {
        SCOPED_TRACE(row);
        auto* link = qobject_cast<QAbstractButton*>(grid->itemAtPosition(row, 0)->widget());
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->accessibleName(), names[row - 1]);
        EXPECT_EQ(text(row, 1), sizes[row - 1]);
        EXPECT_EQ(text(row, 2), counts[row - 1]);
        auto* bar = qobject_cast<UsageBar*>(grid->itemAtPosition(row, 3)->widget());
        ASSERT_NE(bar, nullptr);
        EXPECT_DOUBLE_EQ(bar->fraction(), shares[row - 1]);
        EXPECT_EQ(bar->width(), CategoryTable::shareWidth);
    }
}

TEST_F(CategoryTableTest, AnEmptyListShowsTheHeaderAlone)
{
    CategoryTable table(model, {});
    EXPECT_EQ(qobject_cast<QGridLayout*>(table.layout())->rowCount(), 1);
    EXPECT_TRUE(table.findChildren<QAbstractButton*>().isEmpty());
}

TEST_F(CategoryTableTest, ClickingACategoryOpensItsLargestFiles)
{
    CategoryTable table(model, {{C::music, 10, 1}, {C::archives, 5, 1}});
    std::vector<std::string> order;
    QObject::connect(&model, &AppModel::largestFilesCategoryChanged, [&] { order.push_back("category"); });
    QObject::connect(&model, &AppModel::selectionChanged, [&] { order.push_back("selection"); });
    table.findChildren<QAbstractButton*>().at(1)->click();
    EXPECT_EQ(model.largestFilesCategory(), C::archives);
    EXPECT_EQ(model.selection(), SidebarItem::largestFiles);
    EXPECT_EQ(order, (std::vector<std::string>{"category", "selection"}));
}

} // namespace
