#include "ui/components/ElidedLabel.h"

#include "ui/components/TextStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

ElidedLabel::ElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent)
    : QFrame(parent), text_(text), mode_(mode)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAccessibleName(text_);
}

ElidedLabel* ElidedLabel::forPath(const QString& path, QWidget* parent)
{
    auto* label = new ElidedLabel(path, Qt::ElideMiddle, parent);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    label->setToolTip(path);
    return label;
}

void ElidedLabel::setText(const QString& text)
{
    if (text == text_)
        return;
    if (toolTip() == text_)
        setToolTip(text);
    text_ = text;
    setAccessibleName(text_);
    updateGeometry();
    update();
}

QString ElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text_, mode_, contentsRect().width());
}

QSize ElidedLabel::sizeHint() const
{
    // Whole pixels rounded up: a rounded-down width makes the text elide in the very room it asked for.
    const int advance = static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(text_)));
    return {advance + frameWidth() * 2, textLineHeight(font()) + frameWidth() * 2};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("W…W")), textLineHeight(font()) + frameWidth() * 2};
}

void ElidedLabel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}
