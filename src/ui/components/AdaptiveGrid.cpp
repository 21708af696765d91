#include "ui/components/AdaptiveGrid.h"

#include "ui/components/ListLayout.h"

#include <algorithm>
#include <vector>

namespace {

// Lays the shown cells out in the columns that fit the width it is given, and tells
// its parent the height that takes at any width, so that the rows a narrower width
// adds are given their room in the same layout pass.
class CellFlow : public ListLayout {
public:
    CellFlow(QWidget* parent, int minimumColumnWidth, int columnSpacing, int rowSpacing, Qt::Alignment alignment)
        : ListLayout(parent), minimum_(minimumColumnWidth), columnSpacing_(columnSpacing), rowSpacing_(rowSpacing),
          alignment_(alignment)
    {
        setContentsMargins(0, 0, 0, 0);
    }

    int heightForWidth(int width) const override { return place(QRect(0, 0, width, 0), false); }
    QSize minimumSize() const override { return {columnMinimum(), heightForWidth(columnMinimum())}; }
    QSize sizeHint() const override
    {
        const int shown = static_cast<int>(shownItems().size());
        const int width = std::max(1, std::min(shown, 4)) * (columnMinimum() + columnSpacing_) - columnSpacing_;
        return {width, heightForWidth(width)};
    }
    void setGeometry(const QRect& rect) override
    {
        QLayout::setGeometry(rect);
        place(rect, true);
    }

    int columnsFor(int width) const { return AdaptiveGrid::columnCount(width, columnMinimum(), columnSpacing_); }
    void setMinimum(int width)
    {
        minimum_ = width;
        invalidate();
    }

private:
    std::vector<QLayoutItem*> shownItems() const
    {
        std::vector<QLayoutItem*> shown;
        for (QLayoutItem* item : items())
            if (!item->isEmpty())
                shown.push_back(item);
        return shown;
    }

    // Cells that keep their own size widen the columns rather than be cut.
    int columnMinimum() const
    {
        int minimum = minimum_;
        if (alignment_)
            for (QLayoutItem* item : shownItems())
                minimum = std::max(minimum, item->sizeHint().width());
        return minimum;
    }

    // The height the cells take in `rect`'s width; with `apply`, puts them there too.
    int place(const QRect& rect, bool apply) const
    {
        const std::vector<QLayoutItem*> shown = shownItems();
        if (shown.empty())
            return 0;
        const int columns = columnsFor(rect.width());
        const int columnWidth = std::max(0, (rect.width() - (columns - 1) * columnSpacing_) / columns);
        int y = rect.y();
        for (std::size_t first = 0; first < shown.size(); first += static_cast<std::size_t>(columns)) {
            const std::size_t end = std::min(shown.size(), first + static_cast<std::size_t>(columns));
            int rowHeight = 0;
            for (std::size_t i = first; i < end; ++i)
                rowHeight = std::max(rowHeight, heightAt(shown[i], columnWidth));
            if (apply) {
                for (std::size_t i = first; i < end; ++i) {
                    const int x = rect.x() + static_cast<int>(i - first) * (columnWidth + columnSpacing_);
                    QRect cell(x, y, columnWidth, rowHeight);
                    if (alignment_) {
                        // Leading and top: the cell keeps its own size within its place.
                        const int width = std::min(columnWidth, shown[i]->sizeHint().width());
                        cell = QRect(x, y, width, heightAt(shown[i], width));
                    }
                    shown[i]->setGeometry(cell);
                }
            }
            y += rowHeight + rowSpacing_;
        }
        return y - rowSpacing_ - rect.y();
    }

    int minimum_;
    int columnSpacing_;
    int rowSpacing_;
    Qt::Alignment alignment_;
};

} // namespace

AdaptiveGrid::AdaptiveGrid(int minimumColumnWidth, int columnSpacing, int rowSpacing, Qt::Alignment cellAlignment,
                           QWidget* parent)
    : QWidget(parent), flow_(new CellFlow(this, minimumColumnWidth, columnSpacing, rowSpacing, cellAlignment))
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void AdaptiveGrid::addCell(QWidget* cell)
{
    flow_->addWidget(cell);
}

void AdaptiveGrid::setCellShown(QWidget* cell, bool shown)
{
    // A hidden widget's place is empty, and the flow skips empty places.
    cell->setVisible(shown);
}

void AdaptiveGrid::setMinimumColumnWidth(int width)
{
    static_cast<CellFlow*>(flow_)->setMinimum(width);
}

int AdaptiveGrid::columns() const
{
    return static_cast<const CellFlow*>(flow_)->columnsFor(width());
}

int AdaptiveGrid::columnCount(int width, int minimum, int spacing)
{
    if (minimum <= 0)
        return 1;
    return std::max(1, (width + spacing) / (minimum + spacing));
}
