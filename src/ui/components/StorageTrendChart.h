#pragma once

#include "index/ScanRecords.h"
#include "ui/components/ChartPlot.h"

#include <QWidget>

#include <vector>

// The used space of the disk at each completed scan: a line with dots over a shaded area,
// oldest on the left. The caller sizes it.
class StorageTrendChart : public QWidget {
    Q_OBJECT

public:
    explicit StorageTrendChart(std::vector<StorageHistoryPoint> history, QWidget* parent = nullptr);

    const std::vector<StorageHistoryPoint>& history() const { return history_; }
    void setHistory(std::vector<StorageHistoryPoint> history);

    // From 0 to the round value at or above the largest used size.
    static ChartPlot::Domain valueDomain(const std::vector<StorageHistoryPoint>& history);
    // Byte labels at about four round values, each text once.
    static std::vector<ChartAxis::Mark> valueMarks(const ChartPlot::Domain& domain);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<StorageHistoryPoint> history_;
};
