#include "ui/screens/overview/RowButton.h"

#include <QChildEvent>
#include <QLayout>
#include <QPainter>

RowButton::RowButton(QWidget* parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void RowButton::passClicksThrough(QWidget* child)
{
    child->setAttribute(Qt::WA_TransparentForMouseEvents);
    for (QWidget* grandchild : child->findChildren<QWidget*>())
        grandchild->setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize RowButton::sizeHint() const
{
    return layout() ? layout()->sizeHint() : QAbstractButton::sizeHint();
}

QSize RowButton::minimumSizeHint() const
{
    return layout() ? layout()->minimumSize() : QAbstractButton::minimumSizeHint();
}

void RowButton::paintEvent(QPaintEvent*)
{
    if (!underMouse() && !isDown() && !hasFocus())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor shade = palette().color(QPalette::Highlight);
    shade.setAlphaF(isDown() ? 0.22F : 0.10F);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawRoundedRect(QRectF(rect()), 6, 6);
}

void RowButton::childEvent(QChildEvent* event)
{
    QAbstractButton::childEvent(event);
    if (event->added() && event->child()->isWidgetType())
        passClicksThrough(static_cast<QWidget*>(event->child()));
}
