#pragma once

#include "ui/components/ChartRecords.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Byte sizes as horizontal bars, one row per item top to bottom, each with its size after
// the bar and its label beside the row. A click anywhere in a row hands its item back.
class SizeBarChart : public QWidget {
    Q_OBJECT

public:
    using OnSelect = std::function<void(const SizeBarItem&)>;

    SizeBarChart(std::vector<SizeBarItem> items, OnSelect onSelect, QWidget* parent = nullptr);

    const std::vector<SizeBarItem>& items() const { return items_; }
    void setItems(std::vector<SizeBarItem> items);

    // max(80, 26 per item + 36), every item counted.
    static std::int64_t chartHeight(std::size_t itemCount);
    // The row whose band holds `y`, none above or below the rows.
    static std::optional<std::size_t> rowAt(double y, double plotTop, double plotHeight, std::size_t rowCount);
    // The item that the id of row `row` names: the first item with that id.
    static const SizeBarItem* itemForRow(const std::vector<SizeBarItem>& items, std::size_t row);
    // Length of a bar in a plot `width` wide whose scale ends at `scaleEnd` bytes.
    static double barLength(double bytes, double scaleEnd, double width);
    // The labels' column: as wide as the widest label, at most 180, and in a narrow
    // chart at most a third of its width, so that the bars keep room.
    static double labelColumnWidth(double widestLabel, double chartWidth);

    // The rows' area in widget coordinates.
    QRectF plotArea() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double scaleEnd() const;

    std::vector<SizeBarItem> items_;
    OnSelect onSelect_;
};
