#include "ui/screens/system/CoreBarChart.h"

#include "analysis/PercentFormatter.h"
#include "app/QtText.h"
#include "ui/components/ChartPlot.h"
#include "ui/components/TextStyle.h"
#include "ui/components/UsageBar.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

CoreBarChart::CoreBarChart(std::vector<double> shares, QWidget* parent)
    : QWidget(parent)
    , shares_(std::move(shares))
{
    setMinimumHeight(140);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CoreBarChart::setShares(std::vector<double> shares)
{
    if (shares == shares_)
        return;
    shares_ = std::move(shares);
    update();
}

QColor CoreBarChart::tint(double share)
{
    return share > busyThreshold ? NamedColor::red : accentColor();
}

QSize CoreBarChart::sizeHint() const
{
    return {400, 140};
}

void CoreBarChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont font = textStyleFont(TextStyle::caption2);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int axisWidth = metrics.horizontalAdvance(QStringLiteral("100%")) + 6;
    const int labelHeight = metrics.height() + 2;
    const QRectF plot(0, metrics.height() / 2.0, width() - axisWidth, height() - labelHeight - metrics.height() / 2.0);
    const ChartPlot::Domain domain{0, 1};

    // Grid lines with their labels on the trailing side.
    for (double mark : {0.0, 0.5, 1.0}) {
        const double y = ChartPlot::position(mark, domain, plot.bottom(), plot.top());
        painter.setPen(QPen(textColor(TextEmphasis::quaternary), 1));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(textColor(TextEmphasis::secondary));
        painter.drawText(QRectF(plot.right() + 4, y - labelHeight / 2.0, axisWidth, labelHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, qstr(PercentFormatter::string(mark, 0)));
    }
    if (shares_.empty()) return;
    const double slot = plot.width() / static_cast<double>(shares_.size());
    const double barWidth = std::max(1.0, slot * 0.7);
    // With many cores only every n-th number fits under its bar.
    const double labelWidth = metrics.horizontalAdvance(QString::number(shares_.size())) + 4;
    const auto labelStep = static_cast<std::size_t>(std::max(1.0, std::ceil(labelWidth / slot)));
    for (std::size_t core = 0; core < shares_.size(); ++core) {
        const double share = UsageBar::drawnFraction(shares_[core]);
        const double left = plot.left() + slot * static_cast<double>(core) + (slot - barWidth) / 2;
        const double top = ChartPlot::position(share, domain, plot.bottom(), plot.top());
        const QColor color = tint(shares_[core]);
        QLinearGradient fill(0, plot.bottom(), 0, plot.top());
        QColor faint = color;
        faint.setAlphaF(0.55);
        fill.setColorAt(0, faint);
        fill.setColorAt(1, color);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRect(QRectF(left, top, barWidth, plot.bottom() - top));
        if (core % labelStep != 0) continue;
        painter.setPen(textColor(TextEmphasis::secondary));
        painter.drawText(QRectF(plot.left() + slot * static_cast<double>(core), plot.bottom() + 2, slot, labelHeight),
                         Qt::AlignHCenter | Qt::AlignTop, QString::number(core + 1));
    }
}
