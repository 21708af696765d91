#include "ui/screens/overview/CategoryTable.h"
#include "ui/screens/overview/CategoryTableModel.h"

#include "ui/support/UiTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QTest>
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

TEST(CategoryTableColumns, TheNotesTakeWhatIsLeftAndTheBarsGiveWayBeforeTheNotesGetTooNarrow)
{
    const std::array<int, 3> needed{150, 70, 60};
    const struct {
        int width;
        std::array<int, 5> widths;
    } cases[] = {
        {900, {150, 70, 60, 100, 520}},
        {400, {150, 70, 60, 100, 20}},    // the notes' heading needs 20: the bars keep their 100
        {350, {150, 70, 60, 50, 20}},     // the bars narrow first
        {300, {150, 70, 60, 48, 20}},     // to 48 at most; then the notes keep their heading's width
        {0, {150, 70, 60, 48, 20}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CategoryTable::columnWidths(c.width, needed, 20), c.widths) << c.width;
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
    const QAbstractItemModel& rows = *table.model();
    ASSERT_EQ(rows.rowCount(), 3);
    EXPECT_EQ(rows.headerData(0, Qt::Horizontal).toString(), "Category");
    EXPECT_EQ(rows.headerData(4, Qt::Horizontal).toString(), "How it's detected");

    const QStringList counts = {"4", "12,345", "0"};
    const double shares[] = {0.75, 0.25, 0.0};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const CategoryUsage& usage = usages[static_cast<std::size_t>(row)];
        EXPECT_EQ(rows.index(row, 0).data().toString(), qstr(displayName(usage.category)));
        EXPECT_EQ(rows.index(row, 1).data().toString(), qstr(ByteFormatter::string(usage.bytes)));
        EXPECT_EQ(rows.index(row, 2).data().toString(), counts[row]);
        EXPECT_DOUBLE_EQ(rows.index(row, 3).data(CategoryTableModel::shareRole).toDouble(), shares[row]);
        EXPECT_EQ(rows.index(row, 4).data().toString().toStdString(), detectionNote(usage.category));
        EXPECT_EQ(rows.index(row, 4).data(Qt::ToolTipRole), rows.index(row, 4).data());
    }
    EXPECT_EQ(table.columnWidth(3), CategoryTable::shareWidth);

    // New figures keep each category's row, in the new order, and the shares follow the new total.
    const QPersistentModelIndex videos = rows.index(0, 0);
    table.setCategories({{C::logs, 1'000'000, 3}, {C::videos, 1'000'000, 4}});
    QCoreApplication::processEvents();
    ASSERT_EQ(table.categories().size(), 2u);
    EXPECT_EQ(videos.row(), 1);
    EXPECT_EQ(rows.index(0, 1).data().toString(), qstr(ByteFormatter::string(1'000'000)));
    EXPECT_DOUBLE_EQ(rows.index(1, 3).data(CategoryTableModel::shareRole).toDouble(), 0.5);
}

TEST_F(CategoryTableTest, NothingIsCutAndTheNotesWrapWithinTheirColumnAtEveryWidth)
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
    const QHeaderView* header = table->horizontalHeader();
    // The card's content width in windows from 720 to 1920 pixels wide.
    for (const int width : {440, 560, 620, 736, 900, 1176, 1656}) {
        window.resize(width + column->contentsMargins().left() + column->contentsMargins().right(), 900);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        SCOPED_TRACE(width);
        EXPECT_LE(table->width(), width);
        // Name, size and count whole on one line, and their headings and the share's whole.
        int columnsWidth = 0;
        for (int c = 0; c < CategoryTableModel::columnTotal; ++c) {
            if (c < 3) {
                EXPECT_GE(table->columnWidth(c), static_cast<const QAbstractItemView*>(table)->sizeHintForColumn(c)) << c;
            }
            if (c < 4) {
                EXPECT_GE(table->columnWidth(c), header->sectionSizeHint(c)) << c;
            }
            columnsWidth += table->columnWidth(c);
        }
        EXPECT_LE(columnsWidth, table->viewport()->width());
        // The notes' heading: every word whole, on two lines where its column is narrower than it.
        const QString heading = table->model()->headerData(4, Qt::Horizontal).toString();
        const QFontMetrics metrics(header->font());
        const int margins = header->sectionSizeHint(4) - metrics.horizontalAdvance(heading);
        for (const QString& word : heading.split(QLatin1Char(' '))) {
            EXPECT_LE(metrics.horizontalAdvance(word) + margins, table->columnWidth(4)) << word.toStdString();
        }
        EXPECT_GE(header->height(), (table->columnWidth(4) >= header->sectionSizeHint(4) ? 1 : 2) * metrics.height());
        if (width == 440)
            saveScreenshot(window, QStringLiteral("CategoryTable-440"));
        // How each category is recognised is read whole, on as many lines as its column asks
        // for, and every row is in view.
        int rowsHeight = header->height();
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            const QModelIndex note = table->model()->index(row, 4);
            const QRect lines = QFontMetrics(note.data(Qt::FontRole).value<QFont>())
                                    .boundingRect(QRect(0, 0, table->columnWidth(4), 10'000),
                                                  Qt::TextWordWrap | Qt::TextWrapAnywhere, note.data().toString());
            EXPECT_GE(table->rowHeight(row), lines.height()) << row;
            EXPECT_GE(table->rowHeight(row), static_cast<const QAbstractItemView*>(table)->sizeHintForRow(row)) << row;
            rowsHeight += table->rowHeight(row);
        }
        EXPECT_GE(table->height(), rowsHeight);
    }
    window.resize(736, 900);
    QCoreApplication::processEvents();
    saveScreenshot(window, QStringLiteral("CategoryTable-736"));
}

TEST_F(CategoryTableTest, ClickingACategoryOpensItsLargestFiles)
{
    CategoryTable table(model, {{C::music, 10, 1}, {C::archives, 5, 1}});
    table.resize(700, 200);
    table.show();
    QCoreApplication::processEvents();
    std::vector<std::string> order;
    QObject::connect(&model, &AppModel::largestFilesCategoryChanged, [&] { order.push_back("category"); });
    QObject::connect(&model, &AppModel::selectionChanged, [&] { order.push_back("selection"); });
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualRect(table.model()->index(1, 0)).center());
    EXPECT_EQ(model.largestFilesCategory(), C::archives);
    EXPECT_EQ(model.selection(), SidebarItem::largestFiles);
    EXPECT_EQ(order, (std::vector<std::string>{"category", "selection"}));
}

} // namespace
