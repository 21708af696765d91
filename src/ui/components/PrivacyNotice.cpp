#include "ui/components/PrivacyNotice.h"

#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

PrivacyNotice::PrivacyNotice(bool compact, QWidget* parent) : QWidget(parent), compact_(compact)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    auto* symbol = new QLabel;
    symbol->setObjectName(QStringLiteral("symbol"));
    const int side = QFontMetrics(textStyleFont(compact_ ? TextStyle::body : TextStyle::title3)).height();
    symbol->setPixmap(SymbolIcons::pixmap("lock.shield.fill", side, NamedColor::green, devicePixelRatioF()));
    symbol->setFixedSize(side, side);
    row->addWidget(symbol, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* first = new QLabel(headline());
    first->setObjectName(QStringLiteral("headline"));
    applyTextStyle(first, TextStyle::subheadline, QFont::DemiBold);
    first->setWordWrap(true);
    texts->addWidget(first);
    // Wraps to its full height: the notice is never cut short.
    auto* second = new QLabel(explanation(compact_));
    second->setObjectName(QStringLiteral("explanation"));
    applyTextStyle(second, TextStyle::caption);
    applyTextColor(second, textColor(TextEmphasis::secondary));
    second->setWordWrap(true);
    texts->addWidget(second);
    texts->addStretch(1);
    row->addLayout(texts, 1);
}

QString PrivacyNotice::headline() { return QStringLiteral("Works offline. Your data stays on this computer."); }

QString PrivacyNotice::explanation(bool compact)
{
    return compact ? QStringLiteral("Nothing is uploaded — not even to the developer.")
                   : QStringLiteral("Kestrelmoor does not upload your files or filesystem information. No one — "
                                    "including the developer — can see or share your data.");
}
