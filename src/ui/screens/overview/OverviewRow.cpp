#include "ui/screens/overview/OverviewRow.h"

#include <QBoxLayout>
#include <QResizeEvent>

OverviewRow::OverviewRow(QWidget* first, int firstMinimum, QWidget* second, int secondMinimum, int spacing,
                         QWidget* parent)
    : QWidget(parent), first_(first), second_(second), firstMinimum_(firstMinimum), secondMinimum_(secondMinimum),
      spacing_(spacing), layout_(new QBoxLayout(QBoxLayout::TopToBottom, this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(spacing);
    layout_->setSizeConstraint(QLayout::SetNoConstraint);
    layout_->addWidget(first_, 1, Qt::AlignTop);
    layout_->addWidget(second_, 1, Qt::AlignTop);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

bool OverviewRow::fitsSideBySide(int width, int firstMinimum, int secondMinimum, int spacing)
{
    return width >= firstMinimum + spacing + secondMinimum;
}

QSize OverviewRow::minimumSizeHint() const
{
    return {0, QWidget::minimumSizeHint().height()};
}

void OverviewRow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange(fitsSideBySide(event->size().width(), firstMinimum_, secondMinimum_, spacing_));
}

void OverviewRow::arrange(bool sideBySide)
{
    if (sideBySide == sideBySide_)
        return;
    sideBySide_ = sideBySide;
    layout_->setDirection(sideBySide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    // Stacked, the cards take no minimum width, so a narrow window never clips them.
    first_->setMinimumWidth(sideBySide ? firstMinimum_ : 0);
    second_->setMinimumWidth(sideBySide ? secondMinimum_ : 0);
}
