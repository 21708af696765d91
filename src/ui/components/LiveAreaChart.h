#pragma once

#include "ui/components/ChartPlot.h"
#include "ui/components/ChartRecords.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

class QVariantAnimation;

// Several series of live samples stacked as filled areas over time, on a fixed value range.
class LiveAreaChart : public QWidget {
    Q_OBJECT

public:
    using SeriesColors = std::vector<std::pair<std::string, QColor>>;
    using ValueLabel = std::function<QString(double)>;

    LiveAreaChart(std::vector<ChartPoint> points, SeriesColors seriesColors, ChartPlot::Domain yDomain,
                  ValueLabel valueLabel, QWidget* parent = nullptr);

    const std::vector<ChartPoint>& points() const { return points_; }
    // Animates when the number of points changes, so a full window that drops its oldest
    // sample as it adds one does not.
    void setPoints(std::vector<ChartPoint> points);
    const ChartPlot::Domain& yDomain() const { return yDomain_; }
    void setYDomain(const ChartPlot::Domain& domain);
    bool isAnimating() const;

    struct Sample {
        double date = 0;
        double lower = 0;
        double upper = 0;
        friend bool operator==(const Sample&, const Sample&) = default;
    };
    struct Layer {
        std::string series;
        QColor color;
        std::vector<Sample> samples;   // ascending dates
    };
    // The series stacked at each instant: in the order of the colour table, then any other
    // series in order of appearance; values of one series at one instant add up.
    static std::vector<Layer> stack(const std::vector<ChartPoint>& points, const SeriesColors& colors);

    // The unbroken stretches of ascending `dates`, each as [first, end) indexes: a step of more
    // than half again both the usual one (the median step) and the steps beside it is a gap
    // (a skipped sample, a suspend), across which no area is drawn.
    static std::vector<std::pair<std::size_t, std::size_t>> runs(const std::vector<double>& dates);

    // The range as given, or a usable one when it is empty, reversed or not finite.
    static ChartPlot::Domain usableDomain(const ChartPlot::Domain& domain);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ChartPlot::Domain timeDomain() const;

    std::vector<ChartPoint> points_;
    SeriesColors seriesColors_;
    ChartPlot::Domain yDomain_;
    ValueLabel valueLabel_;
    std::vector<Layer> layers_;
    ChartPlot::Domain shownTime_;
    ChartPlot::Domain previousTime_;
    QVariantAnimation* animation_;
};
