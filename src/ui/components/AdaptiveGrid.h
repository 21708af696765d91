#pragma once

#include <QWidget>

class QLayout;

// Cells laid out in as many equal columns of at least a minimum width as fit the
// width given, filled row by row; hidden cells take no place. Its height follows its
// width, so a narrower width that adds rows gets them room at once.
class AdaptiveGrid : public QWidget {
    Q_OBJECT

public:
    // A null `cellAlignment` stretches each cell over its column and its row; any
    // other keeps each cell at its own size, at the leading top corner of its place.
    AdaptiveGrid(int minimumColumnWidth, int columnSpacing, int rowSpacing,
                 Qt::Alignment cellAlignment = Qt::AlignLeft | Qt::AlignTop, QWidget* parent = nullptr);

    // The grid takes ownership of the cell.
    void addCell(QWidget* cell);
    // Shows or hides a cell of the grid; the cells after it close up.
    void setCellShown(QWidget* cell, bool shown);
    // At the grid's present width.
    int columns() const;
    // Columns narrower than this are not made, whatever the cells.
    void setMinimumColumnWidth(int width);

    // How many columns of at least `minimum` fit `width` with `spacing` between them; at least one.
    static int columnCount(int width, int minimum, int spacing);

private:
    QLayout* flow_;
};
