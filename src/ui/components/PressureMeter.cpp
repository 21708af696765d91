#include "ui/components/PressureMeter.h"

#include "ui/components/TextStyle.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

PressureMeter::PressureMeter(double fraction, const QString& label, const QColor& tint, QWidget* parent)
    : QWidget(parent), fraction_(fraction), label_(label), tint_(tint)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Memory pressure %1").arg(label_));
}

void PressureMeter::setReading(double fraction, const QString& label, const QColor& tint)
{
    const bool sameFraction = fraction == fraction_ || (std::isnan(fraction) && std::isnan(fraction_));
    if (sameFraction && label == label_ && tint == tint_)
        return;
    const bool resized = label != label_;
    fraction_ = fraction;
    label_ = label;
    tint_ = tint;
    setAccessibleName(QStringLiteral("Memory pressure %1").arg(label_));
    if (resized)
        updateGeometry();
    update();
}

bool PressureMeter::isLit(int index, double fraction)
{
    // Divided, not multiplied by 0.05, so that 0.05 itself lights exactly one segment.
    return fraction > static_cast<double>(index) / segmentCount;
}

int PressureMeter::litCount(double fraction)
{
    int count = 0;
    for (int index = 0; index < segmentCount; ++index)
        count += isLit(index, fraction) ? 1 : 0;
    return count;
}

QRectF PressureMeter::segmentRect(int index)
{
    return QRectF(index * (segmentWidth + segmentSpacing), 0, segmentWidth, segmentHeight);
}

QFont PressureMeter::labelFont() const { return textStyleFont(TextStyle::headline); }

QSize PressureMeter::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    const int segments = static_cast<int>(segmentRect(segmentCount - 1).right());
    return {segments + labelSpacing + metrics.horizontalAdvance(label_), std::max(segmentHeight, metrics.height())};
}

QSize PressureMeter::minimumSizeHint() const { return sizeHint(); }

void PressureMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal top = (height() - segmentHeight) / 2.0;
    const QColor unlit = textColor(TextEmphasis::quaternary);
    for (int index = 0; index < segmentCount; ++index) {
        QPainterPath segment;
        segment.addRoundedRect(segmentRect(index).translated(0, top), segmentRadius, segmentRadius);
        painter.fillPath(segment, isLit(index, fraction_) ? tint_ : unlit);
    }
    painter.setFont(labelFont());
    painter.setPen(tint_);
    const int labelLeft = static_cast<int>(segmentRect(segmentCount - 1).right()) + labelSpacing;
    painter.drawText(QRect(labelLeft, 0, width() - labelLeft, height()), Qt::AlignLeft | Qt::AlignVCenter, label_);
}
