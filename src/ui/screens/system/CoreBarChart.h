#pragma once

#include <QColor>
#include <QWidget>

#include <vector>

// One bar per logical core, its busy share on a fixed 0...1 scale.
class CoreBarChart : public QWidget {
    Q_OBJECT

public:
    explicit CoreBarChart(std::vector<double> shares, QWidget* parent = nullptr);

    const std::vector<double>& shares() const { return shares_; }
    void setShares(std::vector<double> shares);

    static constexpr double busyThreshold = 0.85;
    // Red above the threshold, the accent colour otherwise (also for a share that is not a number).
    static QColor tint(double share);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> shares_;
};
