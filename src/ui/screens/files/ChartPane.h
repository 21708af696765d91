#pragma once

#include "ui/components/SizeBarChart.h"

#include <QScrollArea>

// The pane of a screen's size bar chart: the chart inset by 16 on every side at
// its own height; a shorter pane scrolls it rather than cutting bars off.
class ChartPane : public QScrollArea {
    Q_OBJECT

public:
    explicit ChartPane(SizeBarChart::OnSelect onSelect, QWidget* parent = nullptr);

    SizeBarChart* chart() const { return chart_; }
    // The pane's height that shows every bar.
    int wholeHeight() const;

    // The page's inset.
    static constexpr int inset = 16;

private:
    SizeBarChart* chart_;
};
