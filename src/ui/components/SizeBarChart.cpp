#include "ui/components/SizeBarChart.h"

#include "analysis/ByteFormatter.h"
#include "ui/components/ChartAxis.h"
#include "ui/components/TextStyle.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double rowHeight = 26;
constexpr double topMargin = 6;
constexpr double bottomMargin = 30;   // with topMargin, the 36 of the height rule
constexpr double maximumLabelWidth = 180;
constexpr double gap = 6;
constexpr double leadingMargin = 4;
constexpr double cornerRadius = 3;
constexpr int sizeMarkCount = 4;

QFont rowLabelFont() { return textStyleFont(TextStyle::caption); }
QFont annotationFont() { return textStyleFont(TextStyle::caption2); }

QString sizeText(std::int64_t bytes) { return QString::fromStdString(ByteFormatter::string(bytes)); }

} // namespace

SizeBarChart::SizeBarChart(std::vector<SizeBarItem> items, OnSelect onSelect, QWidget* parent)
    : QWidget(parent), items_(std::move(items)), onSelect_(std::move(onSelect))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(static_cast<int>(std::min<std::int64_t>(chartHeight(items_.size()), QWIDGETSIZE_MAX)));
}

void SizeBarChart::setItems(std::vector<SizeBarItem> items)
{
    if (items == items_)
        return;
    items_ = std::move(items);
    setFixedHeight(static_cast<int>(std::min<std::int64_t>(chartHeight(items_.size()), QWIDGETSIZE_MAX)));
    update();
}

std::int64_t SizeBarChart::chartHeight(std::size_t itemCount)
{
    return std::max<std::int64_t>(80, 26 * static_cast<std::int64_t>(itemCount) + 36);
}

std::optional<std::size_t> SizeBarChart::rowAt(double y, double plotTop, double plotHeight, std::size_t rowCount)
{
    if (rowCount == 0 || !(plotHeight > 0) || !std::isfinite(y))
        return std::nullopt;
    const double offset = y - plotTop;
    if (offset < 0 || offset >= plotHeight)
        return std::nullopt;
    const auto row = static_cast<std::size_t>(offset / (plotHeight / static_cast<double>(rowCount)));
    return std::min(row, rowCount - 1);
}

const SizeBarItem* SizeBarChart::itemForRow(const std::vector<SizeBarItem>& items, std::size_t row)
{
    if (row >= items.size())
        return nullptr;
    const auto first = std::find_if(items.begin(), items.end(),
                                    [&](const SizeBarItem& item) { return item.id == items[row].id; });
    return &*first;
}

double SizeBarChart::barLength(double bytes, double scaleEnd, double width)
{
    if (!(scaleEnd > 0) || !(bytes > 0) || !(width > 0))
        return 0;
    return std::min(1.0, bytes / scaleEnd) * width;
}

double SizeBarChart::labelColumnWidth(double widestLabel, double chartWidth)
{
    return std::max(0.0, std::min({widestLabel, maximumLabelWidth, chartWidth / 3}));
}

double SizeBarChart::scaleEnd() const
{
    std::int64_t largest = 0;
    for (const auto& item : items_)
        largest = std::max(largest, item.bytes);
    const double step = ChartAxis::niceStep(0, static_cast<double>(largest), sizeMarkCount);
    if (!(step > 0))
        return 0;
    return std::ceil(static_cast<double>(largest) / step - 1e-9) * step;
}

QRectF SizeBarChart::plotArea() const
{
    const QFontMetricsF labels(rowLabelFont());
    const QFontMetricsF annotations(annotationFont());
    double labelWidth = 0, annotationWidth = 0;
    for (const auto& item : items_) {
        labelWidth = std::max(labelWidth, labels.horizontalAdvance(QString::fromStdString(item.label)));
        annotationWidth = std::max(annotationWidth, annotations.horizontalAdvance(sizeText(item.bytes)));
    }
    labelWidth = labelColumnWidth(labelWidth, width());
    const double left = labelWidth > 0 ? leadingMargin + labelWidth + gap : 0;
    // Room after the longest bar for its size.
    const double right = std::max(annotationWidth + gap, 24.0);
    return QRectF(left, topMargin, std::max(0.0, width() - left - right), std::max(0.0, height() - topMargin - bottomMargin));
}

QSize SizeBarChart::sizeHint() const
{
    return {480, static_cast<int>(std::min<std::int64_t>(chartHeight(items_.size()), QWIDGETSIZE_MAX))};
}

void SizeBarChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plot = plotArea();
    const double end = scaleEnd();

    // Size axis: grid lines with byte labels below the rows.
    const QFont axisFont = textStyleFont(TextStyle::caption2);
    const QFontMetricsF axisMetrics(axisFont);
    painter.setFont(axisFont);
    const auto marks = ChartAxis::distinctMarks(ChartAxis::niceTicks(0, end, sizeMarkCount), ChartAxis::byteLabel);
    for (const auto& mark : marks) {
        const double at = std::round(plot.left() + barLength(mark.value, end, plot.width())) + 0.5;
        painter.setPen(QPen(textColor(TextEmphasis::quaternary), 1));
        painter.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom() + 3));
        const double textWidth = axisMetrics.horizontalAdvance(mark.label);
        painter.setPen(textColor(TextEmphasis::secondary));
        painter.drawText(QRectF(std::min(at + 2, width() - textWidth - 1), plot.bottom() + 5, textWidth + 1, axisMetrics.height()),
                         Qt::AlignLeft, mark.label);
    }
    if (items_.empty())
        return;

    const double band = plot.height() / static_cast<double>(items_.size());
    const double thickness = std::min(band * 0.62, 18.0);
    const QFontMetricsF labelMetrics(rowLabelFont());
    const QFontMetricsF annotationMetrics(annotationFont());
    for (std::size_t row = 0; row < items_.size(); ++row) {
        const SizeBarItem& item = items_[row];
        const double middle = plot.top() + band * (static_cast<double>(row) + 0.5);

        // The row's label is the label of the first item with its id.
        const double labelWidth = plot.left() - gap - leadingMargin;
        const QString label = labelMetrics.elidedText(QString::fromStdString(itemForRow(items_, row)->label),
                                                      Qt::ElideMiddle, labelWidth);
        painter.setFont(rowLabelFont());
        painter.setPen(textColor(TextEmphasis::primary));
        painter.drawText(QRectF(leadingMargin, middle - labelMetrics.height() / 2, plot.left() - gap - leadingMargin,
                                labelMetrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, label);

        const double length = barLength(static_cast<double>(item.bytes), end, plot.width());
        const QRectF bar(plot.left(), middle - thickness / 2, length, thickness);
        if (length > 0) {
            QLinearGradient gradient(bar.topLeft(), bar.bottomLeft());
            gradient.setColorAt(0, item.color.lighter(118));
            gradient.setColorAt(1, item.color);
            const double radius = std::min({cornerRadius, bar.width() / 2, bar.height() / 2});
            QPainterPath path;
            path.addRoundedRect(bar, radius, radius);
            painter.fillPath(path, gradient);
        }

        const QString size = sizeText(item.bytes);
        painter.setFont(annotationFont());
        painter.setPen(textColor(TextEmphasis::secondary));
        painter.drawText(QRectF(bar.right() + 4, middle - annotationMetrics.height() / 2,
                                annotationMetrics.horizontalAdvance(size) + 1, annotationMetrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, size);
    }
}

void SizeBarChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !onSelect_)
        return;
    const QRectF plot = plotArea();
    const auto row = rowAt(event->position().y(), plot.top(), plot.height(), items_.size());
    if (!row)
        return;
    // Copies, since the caller may replace this chart from inside its callback.
    const SizeBarItem chosen = *itemForRow(items_, *row);
    const OnSelect onSelect = onSelect_;
    onSelect(chosen);
}
