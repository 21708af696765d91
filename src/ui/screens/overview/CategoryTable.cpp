#include "ui/screens/overview/CategoryTable.h"

#include "app/AppModel.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/RowSelection.h"
#include "ui/components/TextStyle.h"
#include "ui/components/UsageBar.h"
#include "ui/screens/overview/CategoryTableModel.h"

#include <QHeaderView>
#include <QPainter>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr int barHeight = 6;
constexpr int barInset = 4;
constexpr int noteInset = 4;

// The note laid out in `width`: broken between words, and inside a word only where one
// word is wider than the column.
QTextLayout* layOutNote(QTextLayout& layout, qreal width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return &layout;
}

// Draws the share column's bar in its category's colour and the notes wrapped within
// their column; every other cell as it comes.
class CategoryTableDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() == CategoryTableModel::share) {
            const auto* table = static_cast<const CategoryTableModel*>(index.model());
            const QRectF cell = QRectF(option.rect).adjusted(barInset, 0, -barInset, 0);
            const QRectF bar(cell.left(), cell.center().y() - barHeight / 2.0, cell.width(), barHeight);
            UsageBar::paint(*painter, bar, index.data(CategoryTableModel::shareRole).toDouble(),
                            categoryColor(table->rowAt(index.row()).category));
        } else if (index.column() == CategoryTableModel::detection) {
            const QRectF text = QRectF(option.rect).adjusted(noteInset, noteInset, -noteInset, -noteInset);
            QTextLayout layout(index.data().toString(), index.data(Qt::FontRole).value<QFont>());
            layOutNote(layout, text.width());
            painter->save();
            painter->setPen(index.data(Qt::ForegroundRole).value<QColor>());
            const qreal top = text.top() + std::max<qreal>(0, (text.height() - layout.boundingRect().height()) / 2);
            layout.draw(painter, QPointF(text.left(), top));
            painter->restore();
        } else {
            QStyledItemDelegate::paint(painter, option, index);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() != CategoryTableModel::detection)
            return QStyledItemDelegate::sizeHint(option, index);
        QTextLayout layout(index.data().toString(), index.data(Qt::FontRole).value<QFont>());
        // Without a column to fit (the widest the note gets), one line.
        const qreal width = option.rect.width() > 2 * noteInset ? option.rect.width() - 2 * noteInset : 1e6;
        const QRectF lines = layOutNote(layout, width)->boundingRect();
        return {static_cast<int>(std::ceil(lines.width())) + 2 * noteInset,
                static_cast<int>(std::ceil(lines.height())) + 2 * noteInset};
    }
};

} // namespace

CategoryTable::CategoryTable(AppModel& model, std::vector<CategoryUsage> categories, QWidget* parent)
    : QTableView(parent), model_(model), table_(new CategoryTableModel(this))
{
    setModel(table_);
    setItemDelegate(new CategoryTableDelegate(this));
    setUpRowTable(*this, QAbstractItemView::NoSelection);
    // A note takes as many lines as its column's width asks for.
    setWordWrap(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    viewport()->setCursor(Qt::PointingHandCursor);

    QHeaderView* header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(false);
    header->setTextElideMode(Qt::ElideNone);
    header->setFont(textStyleFont(TextStyle::caption));
    QPalette headerPalette = header->palette();
    headerPalette.setColor(QPalette::ButtonText, textColor(TextEmphasis::secondary));
    header->setPalette(headerPalette);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Rows a little apart, as the lines of a list; a note of several lines makes its row taller.
    verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 10);
    // A click opens a category without leaving a focus frame; the keyboard still reaches the rows.
    setFocusPolicy(Qt::TabFocus);

    connect(this, &QAbstractItemView::clicked, this, &CategoryTable::open);
    connect(this, &QAbstractItemView::activated, this, &CategoryTable::open);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(table_, signal, this, &CategoryTable::fit);
    connect(table_, &QAbstractItemModel::layoutChanged, this, &CategoryTable::fit);
    connect(table_, &QAbstractItemModel::dataChanged, this, &CategoryTable::fit);
    setCategories(std::move(categories));
}

void CategoryTable::setCategories(std::vector<CategoryUsage> categories)
{
    table_->setCategories(std::move(categories));
    fit();
}

const std::vector<CategoryUsage>& CategoryTable::categories() const
{
    return table_->rows();
}

std::array<int, 5> CategoryTable::columnWidths(int width, const std::array<int, 3>& needed, int noteMinimum)
{
    const int fixed = std::accumulate(needed.begin(), needed.end(), 0);
    const int share = std::clamp(width - fixed - noteMinimum, narrowShareWidth, shareWidth);
    return {needed[0], needed[1], needed[2], share, std::max(noteMinimum, width - fixed - share)};
}

int CategoryTable::widestCell(int column) const
{
    // Every row, not only those in view: the table is as tall as all of them.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    int widest = horizontalHeader()->sectionSizeHint(column);
    for (int row = 0; row < table_->rowCount(); ++row)
        widest = std::max(widest, itemDelegate()->sizeHint(option, table_->index(row, column)).width());
    return widest;
}

std::array<int, 3> CategoryTable::neededWidths() const
{
    return {widestCell(CategoryTableModel::category), widestCell(CategoryTableModel::size),
            widestCell(CategoryTableModel::files)};
}

int CategoryTable::noteMinimum() const
{
    // The heading's longest word: its words wrap, but are never cut.
    const QHeaderView* header = horizontalHeader();
    const QString heading = table_->headerData(CategoryTableModel::detection, Qt::Horizontal, Qt::DisplayRole).toString();
    const QFontMetrics metrics(header->font());
    int longestWord = 0;
    for (const QString& word : heading.split(QLatin1Char(' ')))
        longestWord = std::max(longestWord, metrics.horizontalAdvance(word));
    return header->sectionSizeHint(CategoryTableModel::detection) - metrics.horizontalAdvance(heading) + longestWord;
}

int CategoryTable::headingHeight() const
{
    const QHeaderView* header = horizontalHeader();
    const int oneLine = header->sizeHint().height();
    const int column = CategoryTableModel::detection;
    const QString heading = table_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const QFontMetrics metrics(header->font());
    const int margins = header->sectionSizeHint(column) - metrics.horizontalAdvance(heading);
    const QRect wrapped = metrics.boundingRect(QRect(0, 0, std::max(1, columnWidth(column) - margins), 10'000),
                                               Qt::TextWordWrap, heading);
    return oneLine - metrics.height() + std::max(wrapped.height(), metrics.height());
}

void CategoryTable::fit()
{
    const std::array<int, 5> widths =
        columnWidths(width() - 2 * frameWidth(), neededWidths(), noteMinimum());
    for (int column = 0; column < CategoryTableModel::columnTotal; ++column)
        horizontalHeader()->resizeSection(column, widths[static_cast<std::size_t>(column)]);
    horizontalHeader()->setMinimumHeight(headingHeight());
    resizeRowsToContents();
    updateGeometry();
}

int CategoryTable::rowsHeight() const
{
    int height = headingHeight() + 2 * frameWidth();
    for (int row = 0; row < table_->rowCount(); ++row)
        height += rowHeight(row);
    return height;
}

QSize CategoryTable::sizeHint() const
{
    const std::array<int, 3> needed = neededWidths();
    const int notes = widestCell(CategoryTableModel::detection);
    return {std::accumulate(needed.begin(), needed.end(), 0) + shareWidth + notes + 2 * frameWidth(), rowsHeight()};
}

QSize CategoryTable::minimumSizeHint() const
{
    const std::array<int, 3> needed = neededWidths();
    return {std::accumulate(needed.begin(), needed.end(), 0) + narrowShareWidth + noteMinimum() + 2 * frameWidth(),
            rowsHeight()};
}

void CategoryTable::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fit();
}

double CategoryTable::share(std::int64_t bytes, std::int64_t total)
{
    return static_cast<double>(bytes) / static_cast<double>(std::max<std::int64_t>(total, 1));
}

std::int64_t CategoryTable::total(const std::vector<CategoryUsage>& categories)
{
    std::int64_t sum = 0;
    for (const CategoryUsage& usage : categories)
        sum += usage.bytes;
    return sum;
}

void CategoryTable::open(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const StorageCategory category = table_->rowAt(index.row()).category;
    model_.setLargestFilesCategory(category);
    model_.setSelection(SidebarItem::largestFiles);
}
