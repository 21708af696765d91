#include "ui/components/SectionCard.h"

#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

SectionCard::SectionCard(const QString& title, const QString& symbolName, QWidget* content, QWidget* accessory,
                         QWidget* parent)
    : CardFrame(parent), title_(title), content_(content), accessory_(accessory)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);

    auto* heading = new QHBoxLayout;
    QWidget* titleView = nullptr;
    if (symbolName.isEmpty())
        titleView = new QLabel(title);
    else
        titleView = TintedLabelStyle(textColor(TextEmphasis::primary)).makeBody(symbolName, title);
    titleView->setObjectName(QStringLiteral("cardTitle"));
    applyTextStyle(titleView, TextStyle::headline);
    heading->addWidget(titleView);
    heading->addStretch(1);
    if (accessory_)
        heading->addWidget(accessory_);
    column->addLayout(heading);

    const bool contentExpands = content_ && (content_->sizePolicy().verticalPolicy() & QSizePolicy::ExpandFlag);
    if (content_) {
        // Content that cannot grow stays at the leading edge instead of being centred.
        const bool grows = content_->sizePolicy().horizontalPolicy() & QSizePolicy::GrowFlag;
        column->addWidget(content_, contentExpands ? 1 : 0, grows ? Qt::Alignment() : Qt::AlignLeft);
    }
    // Space beyond the contents' height goes below them, never between heading and content.
    if (!contentExpands)
        column->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, contentExpands ? QSizePolicy::Expanding : QSizePolicy::Preferred);
}
