#include "ui/screens/frame/PlaceholderView.h"

#include "app/QtText.h"
#include "ui/components/TextStyle.h"

#include <QLabel>
#include <QVBoxLayout>

PlaceholderView::PlaceholderView(std::string_view title, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    auto* heading = new QLabel(qstr(title), this);
    heading->setObjectName(QStringLiteral("screenTitle"));
    applyTextStyle(heading, TextStyle::title2, QFont::DemiBold);
    layout->addWidget(heading);
    layout->addStretch(1);
}
