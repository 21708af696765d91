#pragma once

#include "ui/components/ChartAxis.h"

#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <vector>

class QPainter;

// The frame shared by the time charts: a plot area with horizontal grid lines labelled on
// the trailing side and vertical grid lines labelled below, and the smooth curve their
// marks follow.
struct ChartPlot {
    struct Domain {
        double lower = 0;
        double upper = 1;
        friend bool operator==(const Domain&, const Domain&) = default;
    };

    // Where `value` of `domain` lands between the pixel positions `from` and `to`; the
    // middle for an empty or reversed domain, so a single value never divides by zero.
    static double position(double value, const Domain& domain, double from, double to);

    // A curve through the points (in ascending x) that never overshoots them: monotone
    // cubic interpolation, straight where two points share an x.
    static QPainterPath monotoneCurve(const std::vector<QPointF>& points);

    // The area between two curves through `upper` and `lower`, which share their x values.
    static QPainterPath band(const std::vector<QPointF>& upper, const std::vector<QPointF>& lower);

    // The plot area inside `bounds`, leaving room for the labels.
    static QRectF plotArea(const QRectF& bounds, const std::vector<ChartAxis::Mark>& yMarks, double bottomReserve = 0);

    // Grid lines and labels; `xMarks` carry positions in the x domain.
    static void paintAxes(QPainter& painter, const QRectF& plot, const std::vector<ChartAxis::Mark>& yMarks,
                          const Domain& y, const std::vector<ChartAxis::Mark>& xMarks, const Domain& x);
};
