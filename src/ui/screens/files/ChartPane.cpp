#include "ui/screens/files/ChartPane.h"

#include <QVBoxLayout>

ChartPane::ChartPane(SizeBarChart::OnSelect onSelect, QWidget* parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setMinimumHeight(160);
    auto* area = new QWidget(this);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(inset, inset, inset, inset);
    chart_ = new SizeBarChart({}, std::move(onSelect), area);
    column->addWidget(chart_);
    column->addStretch(1);
    setWidget(area);
}

int ChartPane::wholeHeight() const
{
    return chart_->height() + 2 * inset;
}
