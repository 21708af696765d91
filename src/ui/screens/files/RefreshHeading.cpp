#include "ui/screens/files/RefreshHeading.h"

#include "ui/components/ScreenParts.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

RefreshHeading::RefreshHeading(const QString& title, QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(makeScreenTitle(title));
    row->addStretch(1);
    refresh_ = new QPushButton(SymbolIcons::icon("arrow.clockwise"), QStringLiteral("Refresh"));
    refresh_->setObjectName(QStringLiteral("refreshButton"));
    refresh_->setAutoDefault(false);
    row->addWidget(refresh_);
}
