#include "ui/screens/system/ColumnWidths.h"

#include <QHeaderView>
#include <QStyle>
#include <QTableView>

#include <QEvent>

#include <algorithm>

namespace {

// Refits the columns when the table's viewport changes width.
class ViewportWatcher : public QObject {
public:
    ViewportWatcher(QObject* viewport, ColumnWidths& widths) : QObject(viewport), widths_(widths)
    {
        viewport->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            widths_.fit();
        return false;
    }

private:
    ColumnWidths& widths_;
};

} // namespace

ColumnWidths::ColumnWidths(QTableView& table, std::vector<Column> columns, int flexible)
    : table_(table), columns_(std::move(columns)), flexible_(flexible), fitted_(columns_.size(), -1),
      watcher_(new ViewportWatcher(table.viewport(), *this))
{
    table_.horizontalHeader()->setStretchLastSection(false);
    for (int column = 0; column < static_cast<int>(columns_.size()); ++column)
        table_.setColumnWidth(column, columns_[static_cast<std::size_t>(column)].ideal);
}

// The watcher lives in the viewport, which may outlive this.
ColumnWidths::~ColumnWidths()
{
    delete watcher_;
}

int ColumnWidths::flexibleWidth(int available, int others, int minimum)
{
    return std::max(minimum, available - others);
}

int ColumnWidths::fittedWidth(int cells, int title, const Column& column)
{
    return std::clamp(std::max(cells, title), column.minimum, column.maximum);
}

int ColumnWidths::titleWidth(int column) const
{
    QHeaderView* header = table_.horizontalHeader();
    // The header leaves room for a sort arrow in every title; only the sorted one shows it.
    if (header->isSortIndicatorShown() && header->sortIndicatorSection() == column)
        return header->sectionSizeHint(column);
    const QString title = table_.model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    return header->fontMetrics().horizontalAdvance(title) + 4 * margin + 6;
}

void ColumnWidths::fit()
{
    QHeaderView* header = table_.horizontalHeader();
    // QTableView hides the measure that its base class offers.
    const QAbstractItemView& view = table_;
    int others = 0;
    for (int column = 0; column < static_cast<int>(columns_.size()); ++column) {
        if (column == flexible_)
            continue;
        const Column& limits = columns_[static_cast<std::size_t>(column)];
        if (limits.maximum > 0) {
            const int wanted = fittedWidth(view.sizeHintForColumn(column), titleWidth(column), limits);
            if (wanted != fitted_[static_cast<std::size_t>(column)]) {
                fitted_[static_cast<std::size_t>(column)] = wanted;
                table_.setColumnWidth(column, wanted);
            }
        }
        others += header->sectionSize(column);
    }
    // Where the others leave too little, the flexible column still shows what it holds up
    // to its maximum (else its ideal width), and the others scroll: it is read first.
    const Column& flexible = columns_[static_cast<std::size_t>(flexible_)];
    const int cap = std::max(flexible.minimum, flexible.maximum > 0 ? flexible.maximum : flexible.ideal);
    const int held = std::clamp(view.sizeHintForColumn(flexible_), flexible.minimum, cap);
    table_.setColumnWidth(flexible_, flexibleWidth(table_.viewport()->width(), others, held));
}
