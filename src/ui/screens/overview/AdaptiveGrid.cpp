#include "ui/screens/overview/AdaptiveGrid.h"

#include <QGridLayout>
#include <QResizeEvent>

#include <algorithm>

AdaptiveGrid::AdaptiveGrid(int minimumColumnWidth, int columnSpacing, int rowSpacing, Qt::Alignment cellAlignment,
                           QWidget* parent)
    : QWidget(parent), minimum_(minimumColumnWidth), spacing_(columnSpacing), alignment_(cellAlignment),
      grid_(new QGridLayout(this))
{
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(columnSpacing);
    grid_->setVerticalSpacing(rowSpacing);
    setMinimumWidth(minimumColumnWidth);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void AdaptiveGrid::addCell(QWidget* cell)
{
    cells_.push_back(cell);
    cell->setParent(this);
    const int columns = columns_ > 0 ? columns_ : columnCount(width(), minimum_, spacing_);
    columns_ = 0;
    arrange(columns);
}

int AdaptiveGrid::columnCount(int width, int minimum, int spacing)
{
    if (minimum <= 0)
        return 1;
    return std::max(1, (width + spacing) / (minimum + spacing));
}

void AdaptiveGrid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange(columnCount(event->size().width(), minimum_, spacing_));
}

void AdaptiveGrid::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    arrange(columnCount(width(), minimum_, spacing_));
}

void AdaptiveGrid::arrange(int columns)
{
    if (columns == columns_)
        return;
    columns_ = columns;
    for (QWidget* cell : cells_)
        grid_->removeWidget(cell);
    for (int column = 0; column < grid_->columnCount(); ++column)
        grid_->setColumnStretch(column, 0);
    for (std::size_t index = 0; index < cells_.size(); ++index)
        grid_->addWidget(cells_[index], static_cast<int>(index) / columns, static_cast<int>(index) % columns,
                         alignment_);
    // Equal columns: each takes the same share of the width.
    for (int column = 0; column < columns; ++column) {
        grid_->setColumnStretch(column, 1);
        grid_->setColumnMinimumWidth(column, 0);
    }
}
