#include "ui/components/CardFrame.h"

#include <QPainter>
#include <QPainterPath>

CardFrame::CardFrame(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
}

QRectF CardFrame::borderOutline(const QRectF& rect)
{
    const qreal inset = borderWidth / 2;
    return rect.adjusted(inset, inset, -inset, -inset);
}

void CardFrame::paintSurface(QPainter& painter, const QRectF& rect, const QPalette& palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath surface;
    surface.addRoundedRect(rect, cornerRadius, cornerRadius);
    painter.fillPath(surface, palette.color(QPalette::Base));

    QColor separator = palette.color(QPalette::Mid);
    separator.setAlphaF(0.6f);
    QPen pen(separator, borderWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal radius = cornerRadius - borderWidth / 2;
    painter.drawRoundedRect(borderOutline(rect), radius, radius);
    painter.restore();
}

void CardFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintSurface(painter, QRectF(rect()), palette());
}
