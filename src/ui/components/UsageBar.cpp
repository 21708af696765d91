#include "ui/components/UsageBar.h"

#include "analysis/PercentFormatter.h"
#include "ui/components/TextStyle.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

void fillCapsule(QPainter& painter, const QRectF& rect, const QBrush& brush)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    // One radius for both axes, so a fill narrower than it is tall stays a capsule
    // instead of becoming an ellipse.
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, brush);
}

} // namespace

UsageBar::UsageBar(double fraction, const QColor& tint, int height, QWidget* parent)
    : QWidget(parent), fraction_(fraction), tint_(tint), height_(height)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(height_);
    updateAccessibleValue();
}

void UsageBar::setFraction(double fraction)
{
    // NaN never equals itself; compare bit-exactly enough for repaint purposes.
    if (fraction == fraction_ || (std::isnan(fraction) && std::isnan(fraction_)))
        return;
    fraction_ = fraction;
    updateAccessibleValue();
    update();
}

void UsageBar::setTint(const QColor& tint)
{
    if (tint == tint_)
        return;
    tint_ = tint;
    update();
}

double UsageBar::drawnFraction(double fraction)
{
    if (!std::isfinite(fraction))
        return 0;
    if (fraction >= 1)
        return 1;
    return fraction >= 0 ? fraction : 0;
}

double UsageBar::fillWidth(double fraction, double width)
{
    return std::max(0.0, width) * drawnFraction(fraction);
}

void UsageBar::paint(QPainter& painter, const QRectF& rect, double fraction, const QColor& tint)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    fillCapsule(painter, rect, textColor(TextEmphasis::quaternary));
    const QRectF fill(rect.left(), rect.top(), fillWidth(fraction, rect.width()), rect.height());
    QLinearGradient gradient(fill.topLeft(), fill.bottomLeft());
    gradient.setColorAt(0, tint.lighter(115));
    gradient.setColorAt(1, tint);
    fillCapsule(painter, fill, gradient);
    painter.restore();
}

QSize UsageBar::sizeHint() const { return {90, height_}; }

QSize UsageBar::minimumSizeHint() const { return {0, height_}; }

void UsageBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, QRectF(rect()), fraction_, tint_);
}

void UsageBar::updateAccessibleValue()
{
    setAccessibleDescription(QString::fromStdString(PercentFormatter::string(fraction_, 0)));
}
