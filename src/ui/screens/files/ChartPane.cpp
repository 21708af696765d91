#include "ui/screens/files/ChartPane.h"

#include "ui/components/ScreenParts.h"

#include <QVBoxLayout>

ChartPane::ChartPane(SizeBarChart::OnSelect onSelect, QWidget* parent) : QScrollArea(parent)
{
    setMinimumHeight(160);
    QVBoxLayout* column = makeScrollPage(this);
    chart_ = new SizeBarChart({}, std::move(onSelect), widget());
    column->addWidget(chart_);
    column->addStretch(1);
}

int ChartPane::wholeHeight() const
{
    return chart_->height() + 2 * inset;
}
