#include "ui/screens/overview/CategoryTable.h"
#include "ui/screens/overview/CategoryTableModel.h"

#include "ui/support/UiTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "index/StorageDatabase.h"
#include "ui/components/UsageBar.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

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
    QAbstractItemModelTester tester(table.tableModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    table.resize(900, 200);
    table.show();
    QCoreApplication::processEvents();
    ASSERT_TRUE(table.notesInColumn());
    auto* grid = qobject_cast<QGridLayout*>(table.layout());
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->rowCount(), 4);

    auto text = [&](int row, int column) {
        return qobject_cast<QLabel*>(grid->itemAtPosition(row, column)->widget())->text();
    };
    EXPECT_EQ(text(0, 0), "Category");
    EXPECT_EQ(text(0, 4), "How it's detected");
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
        auto* note = qobject_cast<QLabel*>(grid->itemAtPosition(row, 4)->widget());
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->text().toStdString(), detectionNote(usages[static_cast<std::size_t>(row - 1)].category));
    }

    // New figures keep each category's row, in the new order, and the shares follow the new total.
    QAbstractButton* videos = qobject_cast<QAbstractButton*>(grid->itemAtPosition(1, 0)->widget());
    table.setCategories({{C::logs, 1'000'000, 3}, {C::videos, 1'000'000, 4}});
    QCoreApplication::processEvents();
    ASSERT_EQ(table.categories().size(), 2u);
    EXPECT_EQ(grid->itemAtPosition(2, 0)->widget(), videos);
    EXPECT_EQ(text(1, 1), qstr(ByteFormatter::string(1'000'000)));
    EXPECT_DOUBLE_EQ(qobject_cast<UsageBar*>(grid->itemAtPosition(2, 3)->widget())->fraction(), 0.5);
    EXPECT_EQ(table.findChildren<QAbstractButton*>().size(), 2);
}

TEST_F(CategoryTableTest, TheHeadingOfTheNotesIsNeverCutAndNarrowWidthsMoveTheNotesUnderTheRows)
{
    std::vector<CategoryUsage> usages;
    for (C category : {C::archives, C::developer, C::virtualMachines, C::documents, C::other})
        usages.push_back({category, 1'234'567'890, 123'456});
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* table = new CategoryTable(model, usages);
    column->addWidget(table);
    column->addStretch(1);
    window.show();
    // The card's content width in windows from 720 to 1920 pixels wide.
    for (const int width : {440, 560, 620, 736, 900, 1176, 1656}) {
        window.resize(width + column->contentsMargins().left() + column->contentsMargins().right(), 600);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        SCOPED_TRACE(width);
        EXPECT_LE(table->width(), width);
        EXPECT_GE(table->height(), table->layout()->minimumSize().height());
        for (QLabel* label : table->findChildren<QLabel*>())
            if (label->isVisibleTo(table) && !label->text().isEmpty() && label->objectName() != "note") {
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
                EXPECT_LE(label->mapTo(table, QPoint(label->width(), 0)).x(), table->width());
            }
        // How each category is recognised is read whole, on as many lines as it takes.
        ASSERT_EQ(table->findChildren<QLabel*>("note").size(), static_cast<qsizetype>(usages.size()));
        for (QLabel* note : table->findChildren<QLabel*>("note")) {
            EXPECT_TRUE(note->isVisibleTo(table));
            EXPECT_LE(note->mapTo(table, QPoint(note->width(), 0)).x(), table->width());
            EXPECT_GE(note->height(), note->heightForWidth(note->width())) << note->text().toStdString();
            EXPECT_GT(note->width(), note->fontMetrics().horizontalAdvance(QStringLiteral("Archives and")));
        }
    }
    window.resize(1200, 600);
    QCoreApplication::processEvents();
    EXPECT_TRUE(table->notesInColumn());
    window.resize(470, 600);
    QCoreApplication::processEvents();
    EXPECT_FALSE(table->notesInColumn());
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
