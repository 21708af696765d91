#pragma once

#include <QWidget>

#include <vector>

class QGridLayout;

// Cells laid out in as many equal columns of at least a minimum width as fit the
// width given, filled row by row, each cell aligned leading.
class AdaptiveGrid : public QWidget {
    Q_OBJECT

public:
    // A null `cellAlignment` stretches each cell over its column.
    AdaptiveGrid(int minimumColumnWidth, int columnSpacing, int rowSpacing,
                 Qt::Alignment cellAlignment = Qt::AlignLeft | Qt::AlignTop, QWidget* parent = nullptr);

    // The grid takes ownership of the cell.
    void addCell(QWidget* cell);
    int columns() const { return columns_; }

    // How many columns of at least `minimum` fit `width` with `spacing` between them; at least one.
    static int columnCount(int width, int minimum, int spacing);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void arrange(int columns);

    int minimum_;
    int spacing_;
    Qt::Alignment alignment_;
    int columns_ = 0;
    QGridLayout* grid_;
    std::vector<QWidget*> cells_;
};
