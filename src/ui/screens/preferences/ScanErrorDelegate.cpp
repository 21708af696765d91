#include "ui/screens/preferences/ScanErrorDelegate.h"

#include "ui/components/TextStyle.h"
#include "ui/screens/preferences/ScanErrorListModel.h"
#include "ui/screens/preferences/SettingsSection.h"

#include <QFontMetrics>
#include <QPainter>

ScanErrorDelegate::ScanErrorDelegate(QObject* parent)
    : QStyledItemDelegate(parent), pathFont_(SettingsSection::monospacedFont(TextStyle::caption)),
      detailFont_(textStyleFont(TextStyle::caption2))
{
}

QSize ScanErrorDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const int height = QFontMetrics(pathFont_).height() + lineGap + QFontMetrics(detailFont_).height() + 2 * padding;
    return {option.rect.width(), height};
}

void ScanErrorDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    const QRect text = option.rect.adjusted(inset, padding, -inset, -padding);
    const QFontMetrics path(pathFont_);
    const QFontMetrics detail(detailFont_);
    painter->setFont(pathFont_);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(QRect(text.left(), text.top(), text.width(), path.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      path.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, text.width()));
    painter->setFont(detailFont_);
    painter->setPen(textColor(TextEmphasis::secondary));
    painter->drawText(QRect(text.left(), text.top() + path.height() + lineGap, text.width(), detail.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      detail.elidedText(index.data(ScanErrorListModel::detailRole).toString(), Qt::ElideRight,
                                        text.width()));
    painter->restore();
}
