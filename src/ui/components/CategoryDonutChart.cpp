#include "ui/components/CategoryDonutChart.h"

#include "analysis/ByteFormatter.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/TextStyle.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double hitHoleAllowance = 0.95;
constexpr double centerTextShare = 0.9;
constexpr double sectorGap = 1.2;
constexpr double cornerRadius = 3;
constexpr double dimmedOpacity = 0.4;
constexpr double lineSpacing = 2;
constexpr double twoPi = 2 * std::numbers::pi;

bool contains(const std::vector<CategoryUsage>& usages, StorageCategory category)
{
    return std::any_of(usages.begin(), usages.end(), [&](const CategoryUsage& u) { return u.category == category; });
}

// Screen point at `radius` and `fraction` of the turn, clockwise from the top.
QPointF pointAt(const QPointF& center, double radius, double fraction)
{
    const double angle = fraction * twoPi;
    return {center.x() + radius * std::sin(angle), center.y() - radius * std::cos(angle)};
}

// Qt's arcs run counter-clockwise from three o'clock in degrees.
double qtDegrees(double fraction) { return 90 - fraction * 360; }

// A ring sector between two fractions of the turn, shrunk by `inset` on every side so
// that a round stroke of twice the inset gives it its rounded corners.
QPainterPath sectorPath(const QPointF& center, double inner, double outer, double from, double to, double inset)
{
    QPainterPath path;
    const double r0 = inner + inset, r1 = outer - inset;
    const double a0 = from + inset / (twoPi * r0), a1 = to - inset / (twoPi * r0);
    if (r1 <= r0 || a1 <= a0)
        return path;
    const double b0 = from + inset / (twoPi * r1), b1 = to - inset / (twoPi * r1);
    const QRectF outerBox(center.x() - r1, center.y() - r1, 2 * r1, 2 * r1);
    const QRectF innerBox(center.x() - r0, center.y() - r0, 2 * r0, 2 * r0);
    path.moveTo(pointAt(center, r1, b0));
    path.arcTo(outerBox, qtDegrees(b0), -(b1 - b0) * 360);
    path.lineTo(pointAt(center, r0, a1));
    path.arcTo(innerBox, qtDegrees(a1), (a1 - a0) * 360);
    path.closeSubpath();
    return path;
}

// The sector grown back by `corner` with round joins: one outline, so a translucent fill
// covers every pixel once.
QPainterPath rounded(const QPainterPath& path, double corner)
{
    if (corner <= 0)
        return path;
    QPainterPathStroker stroker;
    stroker.setWidth(2 * corner);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    return stroker.createStroke(path).united(path);
}

} // namespace

CategoryDonutChart::CategoryDonutChart(std::vector<CategoryUsage> usages, QString centerTitle, QString centerValue,
                                       OnSelect onSelect, double innerRatio, QWidget* parent)
    : QWidget(parent),
      usages_(std::move(usages)),
      centerTitle_(std::move(centerTitle)),
      centerValue_(std::move(centerValue)),
      onSelect_(std::move(onSelect)),
      innerRatio_(innerRatio)
{
    setMouseTracking(true);
}

void CategoryDonutChart::setUsages(std::vector<CategoryUsage> usages)
{
    if (usages == usages_)
        return;
    usages_ = std::move(usages);
    if (hovered_ && !contains(usages_, *hovered_))
        hovered_.reset();
    update();
}

void CategoryDonutChart::setCenterTexts(QString title, QString value)
{
    if (title == centerTitle_ && value == centerValue_)
        return;
    centerTitle_ = std::move(title);
    centerValue_ = std::move(value);
    update();
}

CategoryDonutChart::Geometry CategoryDonutChart::geometry(const QRectF& plotArea, double innerRatio)
{
    Geometry g;
    g.center = plotArea.center();
    g.outerRadius = 0.5 * std::min(plotArea.width(), plotArea.height());
    g.innerRadius = g.outerRadius * innerRatio;
    g.hitInnerLimit = g.innerRadius * hitHoleAllowance;
    g.centerTextWidth = plotArea.width() * innerRatio * centerTextShare;
    return g;
}

std::optional<StorageCategory> CategoryDonutChart::categoryAt(const QPointF& point, const Geometry& geometry,
                                                              const std::vector<CategoryUsage>& usages)
{
    const double dx = point.x() - geometry.center.x();
    const double dy = point.y() - geometry.center.y();
    const double r = std::sqrt(dx * dx + dy * dy);
    if (r > geometry.outerRadius || r < geometry.hitInnerLimit || usages.empty())
        return std::nullopt;
    double total = 0;
    for (const auto& usage : usages)
        total += static_cast<double>(usage.bytes);
    if (!(total > 0))
        return std::nullopt;
    double angle = std::atan2(dx, -dy);   // 0 straight up, clockwise on screen
    if (angle < 0)
        angle += twoPi;
    const double target = angle / twoPi;
    double running = 0;
    for (const auto& usage : usages) {
        running += static_cast<double>(usage.bytes) / total;
        if (running >= target)
            return usage.category;
    }
    return usages.back().category;
}

std::pair<QString, QString> CategoryDonutChart::centerLines(const std::vector<CategoryUsage>& usages,
                                                            std::optional<StorageCategory> hovered,
                                                            const QString& title, const QString& value)
{
    if (!hovered)
        return {title, value};
    const QString name = QString::fromStdString(std::string(displayName(*hovered)));
    const auto found = std::find_if(usages.begin(), usages.end(),
                                    [&](const CategoryUsage& u) { return u.category == *hovered; });
    if (found == usages.end())
        return {name, value};
    return {name, QString::fromStdString(ByteFormatter::string(found->bytes))};
}

std::pair<QString, QString> CategoryDonutChart::centerLines() const
{
    return centerLines(usages_, hovered_, centerTitle_, centerValue_);
}

QSize CategoryDonutChart::sizeHint() const { return {170, 170}; }

CategoryDonutChart::Geometry CategoryDonutChart::currentGeometry() const
{
    return geometry(QRectF(rect()), innerRatio_);
}

void CategoryDonutChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Geometry g = currentGeometry();

    double total = 0;
    for (const auto& usage : usages_)
        total += static_cast<double>(usage.bytes);
    // The same sums as the hit test, so what is drawn is what is hit.
    if (total > 0) {
        double start = 0;
        for (const auto& usage : usages_) {
            const double end = start + static_cast<double>(usage.bytes) / total;
            const double span = (end - start) * twoPi * g.innerRadius;   // arc length along the hole
            // The corner rounding never exceeds half of what is left of a thin sector.
            const double corner = std::clamp(std::min((span - sectorGap) / 2, (g.outerRadius - g.innerRadius) / 2),
                                             0.0, cornerRadius);
            const QPainterPath path = sectorPath(g.center, g.innerRadius, g.outerRadius, start, end,
                                                 sectorGap / 2 + corner);
            start = end;
            if (path.isEmpty())
                continue;
            QColor color = categoryColor(usage.category);
            if (hovered_ && *hovered_ != usage.category)
                color.setAlphaF(dimmedOpacity);
            painter.fillPath(rounded(path, corner), color);
        }
    } else {
        // Nothing to divide: a faint ring keeps the chart's place.
        QPainterPath ring;
        ring.addEllipse(g.center, g.outerRadius, g.outerRadius);
        ring.addEllipse(g.center, g.innerRadius, g.innerRadius);
        painter.fillPath(ring, textColor(TextEmphasis::quaternary));
    }

    const auto [first, second] = centerLines();
    const QFont titleFont = textStyleFont(TextStyle::caption);
    const QFont valueFont = textStyleFont(TextStyle::title3, QFont::DemiBold);
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const double width = g.centerTextWidth;
    const QRectF wide(0, 0, width, 10000);
    const QRectF titleBox = QFontMetricsF(titleFont).boundingRect(wide, flags, first);
    const QRectF valueBox = QFontMetricsF(valueFont).boundingRect(wide, flags, second);
    const double top = g.center.y() - (titleBox.height() + lineSpacing + valueBox.height()) / 2;
    const double left = g.center.x() - width / 2;
    painter.setFont(titleFont);
    painter.setPen(textColor(TextEmphasis::secondary));
    painter.drawText(QRectF(left, top, width, titleBox.height()), flags, first);
    painter.setFont(valueFont);
    painter.setPen(textColor(TextEmphasis::primary));
    painter.drawText(QRectF(left, top + titleBox.height() + lineSpacing, width, valueBox.height()), flags, second);
}

void CategoryDonutChart::mouseMoveEvent(QMouseEvent* event)
{
    setHovered(categoryAt(event->position(), currentGeometry(), usages_));
}

void CategoryDonutChart::leaveEvent(QEvent*)
{
    setHovered(std::nullopt);
}

void CategoryDonutChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !onSelect_)
        return;
    const auto category = categoryAt(event->position(), currentGeometry(), usages_);
    if (!category)
        return;
    const OnSelect onSelect = onSelect_;
    onSelect(*category);
}

void CategoryDonutChart::setHovered(std::optional<StorageCategory> category)
{
    if (category == hovered_)
        return;
    hovered_ = category;
    update();
}
