#include "ui/screens/overview/CategoryTable.h"

#include "app/AppModel.h"
#include "app/QtText.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"
#include "ui/components/UsageBar.h"
#include "ui/screens/overview/CategoryTableModel.h"
#include "ui/screens/overview/RowButton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace {

enum Column { nameColumn, sizeColumn, filesColumn, shareColumn, noteColumn };
constexpr int horizontalSpacing = 16;

} // namespace

CategoryTable::CategoryTable(AppModel& model, std::vector<CategoryUsage> categories, QWidget* parent)
    : QWidget(parent), model_(model), table_(new CategoryTableModel(this)), grid_(new QGridLayout(this))
{
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(horizontalSpacing);
    grid_->setVerticalSpacing(6);
    for (int column = 0; column < CategoryTableModel::columnTotal; ++column) {
        QLabel* header = styledLabel(table_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
                                     TextStyle::caption, TextEmphasis::secondary);
        header->setObjectName(QStringLiteral("header"));
        headers_.push_back(header);
    }
    connect(table_, &QAbstractItemModel::rowsInserted, this, &CategoryTable::follow);
    connect(table_, &QAbstractItemModel::rowsRemoved, this, &CategoryTable::follow);
    connect(table_, &QAbstractItemModel::layoutChanged, this, &CategoryTable::follow);
    connect(table_, &QAbstractItemModel::dataChanged, this, &CategoryTable::follow);
    setCategories(std::move(categories));
}

void CategoryTable::setCategories(std::vector<CategoryUsage> categories)
{
    table_->setCategories(std::move(categories));
    follow();
}

const std::vector<CategoryUsage>& CategoryTable::categories() const
{
    return table_->rows();
}

CategoryTable::Row& CategoryTable::rowFor(StorageCategory category)
{
    Row& row = rows_[category];
    if (row.link)
        return row;
    const QColor color = categoryColor(category);
    row.link = new RowButton;
    row.link->setObjectName(QStringLiteral("categoryLink"));
    row.link->setAccessibleName(qstr(displayName(category)));
    auto* linkLayout = new QHBoxLayout(row.link);
    linkLayout->setContentsMargins(2, 1, 4, 1);
    linkLayout->addWidget(TintedLabelStyle(color).makeBody(qstr(symbolName(category)), qstr(displayName(category))));
    connect(row.link, &QAbstractButton::clicked, this, [this, category] { open(category); });
    // The fonts in use draw every digit equally wide, so figures line up as they are.
    row.size = new QLabel;
    row.size->setObjectName(QStringLiteral("size"));
    row.count = new QLabel;
    row.count->setObjectName(QStringLiteral("count"));
    applyTextColor(row.count, textColor(TextEmphasis::secondary));
    row.bar = new UsageBar(0, color, 6);
    row.bar->setFixedWidth(shareWidth);
    // Wrapped, not shortened: how a category is recognised is read whole.
    row.note = styledLabel(qstr(detectionNote(category)), TextStyle::caption, TextEmphasis::secondary);
    row.note->setObjectName(QStringLiteral("note"));
    row.note->setWordWrap(true);
    return row;
}

void CategoryTable::follow()
{
    std::map<StorageCategory, bool> listed;
    for (int index = 0; index < table_->rowCount(); ++index) {
        const CategoryUsage& usage = table_->rowAt(index);
        Row& row = rowFor(usage.category);
        row.size->setText(table_->index(index, CategoryTableModel::size).data().toString());
        row.count->setText(table_->index(index, CategoryTableModel::files).data().toString());
        row.bar->setFraction(table_->index(index, CategoryTableModel::share).data(CategoryTableModel::shareRole).toDouble());
        listed[usage.category] = true;
    }
    for (auto row = rows_.begin(); row != rows_.end();) {
        if (listed.contains(row->first)) {
            ++row;
            continue;
        }
        for (QWidget* part : std::initializer_list<QWidget*>{row->second.link, row->second.size, row->second.count,
                                                             row->second.bar, row->second.note}) {
            grid_->removeWidget(part);
            discardWidget(part);
        }
        row = rows_.erase(row);
    }
    notesInColumn_ = width() <= 0 || width() >= columnsWidth();
    place();
}

int CategoryTable::columnsWidth() const
{
    int name = headers_[nameColumn]->sizeHint().width();
    int size = headers_[sizeColumn]->sizeHint().width();
    int files = headers_[filesColumn]->sizeHint().width();
    for (const auto& [category, row] : rows_) {
        name = std::max(name, row.link->sizeHint().width());
        size = std::max(size, row.size->sizeHint().width());
        files = std::max(files, row.count->sizeHint().width());
    }
    const int share = std::max(shareWidth, headers_[shareColumn]->sizeHint().width());
    return name + size + files + share + headers_[noteColumn]->sizeHint().width() + 4 * horizontalSpacing;
}

QSize CategoryTable::minimumSizeHint() const
{
    const int share = std::max(shareWidth, headers_[shareColumn]->sizeHint().width());
    const int narrowShare = std::max(narrowShareWidth, headers_[shareColumn]->sizeHint().width());
    const int withoutNotes =
        columnsWidth() - headers_[noteColumn]->sizeHint().width() - horizontalSpacing - share + narrowShare;
    return {withoutNotes, grid_->minimumSize().height()};
}

void CategoryTable::place()
{
    for (QLabel* header : headers_)
        grid_->removeWidget(header);
    for (const auto& [category, row] : rows_)
        for (QWidget* part : std::initializer_list<QWidget*>{row.link, row.size, row.count, row.bar, row.note})
            grid_->removeWidget(part);

    const Qt::Alignment leading = Qt::AlignLeft | Qt::AlignVCenter;
    const Qt::Alignment trailing = Qt::AlignRight | Qt::AlignVCenter;
    grid_->addWidget(headers_[nameColumn], 0, nameColumn, leading);
    grid_->addWidget(headers_[sizeColumn], 0, sizeColumn, trailing);
    grid_->addWidget(headers_[filesColumn], 0, filesColumn, trailing);
    grid_->addWidget(headers_[shareColumn], 0, shareColumn, leading);
    headers_[noteColumn]->setVisible(notesInColumn_);
    if (notesInColumn_)
        grid_->addWidget(headers_[noteColumn], 0, noteColumn, leading);
    int line = 1;
    for (int index = 0; index < table_->rowCount(); ++index) {
        const Row& row = rows_.at(table_->rowAt(index).category);
        grid_->addWidget(row.link, line, nameColumn, leading);
        grid_->addWidget(row.size, line, sizeColumn, trailing);
        grid_->addWidget(row.count, line, filesColumn, trailing);
        if (notesInColumn_) {
            row.bar->setFixedWidth(shareWidth);
        } else {
            row.bar->setMinimumWidth(narrowShareWidth);
            row.bar->setMaximumWidth(shareWidth);
        }
        grid_->addWidget(row.bar, line, shareColumn, notesInColumn_ ? Qt::AlignCenter : Qt::Alignment());
        // Under its row, the note starts where the category's name does.
        const int nameStart = row.link->layout()->contentsMargins().left() + row.link->fontMetrics().height() +
                              TintedLabelStyle::spacing;
        row.note->setContentsMargins(notesInColumn_ ? 0 : nameStart, 0, 0, 0);
        if (notesInColumn_) {
            grid_->addWidget(row.note, line, noteColumn);
        } else {
            ++line;
            grid_->addWidget(row.note, line, nameColumn, 1, shareColumn + 1);
        }
        for (QWidget* part : std::initializer_list<QWidget*>{row.link, row.size, row.count, row.bar, row.note})
            part->show();
        ++line;
    }
    // The note takes what width is left and gives it up first; without its column the bars take it.
    for (int column = 0; column < CategoryTableModel::columnTotal; ++column)
        grid_->setColumnStretch(column, 0);
    grid_->setColumnStretch(notesInColumn_ ? noteColumn : shareColumn + 1, 1);
    updateGeometry();
}

void CategoryTable::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const bool inColumn = event->size().width() >= columnsWidth();
    if (inColumn == notesInColumn_)
        return;
    notesInColumn_ = inColumn;
    place();
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

void CategoryTable::open(StorageCategory category)
{
    model_.setLargestFilesCategory(category);
    model_.setSelection(SidebarItem::largestFiles);
}
