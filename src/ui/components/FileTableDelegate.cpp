#include "ui/components/FileTableDelegate.h"

#include "ui/components/FileTableModel.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int padding = 4;

int markerSize()
{
    return QFontMetrics(textStyleFont(TextStyle::caption2)).height();
}

} // namespace

FileTableDelegate::NameLayout FileTableDelegate::nameLayout(const QRect& cell, const QFontMetrics& metrics,
                                                            const QString& rankWidthText, bool showsRank,
                                                            const QString& name, bool hidden, bool hardLink,
                                                            int markerSize)
{
    NameLayout layout;
    const int top = cell.top();
    const int height = cell.height();
    int x = cell.left() + padding;
    const int right = cell.right() - padding;
    if (showsRank) {
        const int width = std::max(minimumRankWidth, metrics.horizontalAdvance(rankWidthText));
        layout.rank = QRect(x, top, width, height);
        x += width + spacing;
    }
    layout.icon = QRect(x, top + (height - iconFrame) / 2, iconFrame, iconFrame);
    x += iconFrame + spacing;
    const int markers = (hidden ? 1 : 0) + (hardLink ? 1 : 0);
    const int room = std::max(0, right - x + 1 - markers * (spacing + markerSize));
    // Most names fit: measured once, they are not shaped again to be elided.
    int nameWidth = metrics.horizontalAdvance(name);
    if (nameWidth <= room) {
        layout.shownName = name;
    } else {
        layout.shownName = metrics.elidedText(name, Qt::ElideMiddle, room);
        nameWidth = std::min(room, metrics.horizontalAdvance(layout.shownName));
    }
    layout.name = QRect(x, top, nameWidth, height);
    x += nameWidth + spacing;
    const int markerTop = top + (height - markerSize) / 2;
    if (hidden) {
        layout.hiddenMarker = QRect(x, markerTop, markerSize, markerSize);
        x += markerSize + spacing;
    }
    if (hardLink)
        layout.hardLinkMarker = QRect(x, markerTop, markerSize, markerSize);
    return layout;
}

FileTableDelegate::NameLayout FileTableDelegate::layoutFor(const QStyleOptionViewItem& option,
                                                           const QModelIndex& index)
{
    const QVariant rankWidth = index.data(FileTableModel::rankWidthTextRole);
    return nameLayout(option.rect, option.fontMetrics, rankWidth.toString(), rankWidth.isValid(),
                      index.data(Qt::DisplayRole).toString(), index.data(FileTableModel::hiddenRole).toBool(),
                      index.data(FileTableModel::hardLinkRole).toBool(), markerSize());
}

void FileTableDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The end of a path says more than its start.
    if (index.column() == FileTableModel::location)
        option->textElideMode = Qt::ElideLeft;
}

void FileTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (index.column() != FileTableModel::name) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const NameLayout layout = layoutFor(background, index);
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QColor primary = selected ? option.palette.color(group, QPalette::HighlightedText)
                                    : option.palette.color(group, QPalette::Text);
    painter->save();
    painter->setFont(option.font);
    const QVariant rank = index.data(FileTableModel::rankRole);
    if (rank.isValid()) {
        painter->setPen(selected ? primary : textColor(TextEmphasis::secondary));
        painter->drawText(layout.rank, Qt::AlignRight | Qt::AlignVCenter, rank.toString());
    }
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(layout.icon,
                        SymbolIcons::pixmap(index.data(FileTableModel::symbolRole).toString().toStdString(), iconFrame,
                                            index.data(FileTableModel::tintRole).value<QColor>(), ratio));
    painter->setPen(primary);
    painter->drawText(layout.name, Qt::AlignLeft | Qt::AlignVCenter, layout.shownName);
    if (!layout.hiddenMarker.isEmpty()) {
        const QColor tint = selected ? primary : textColor(TextEmphasis::tertiary);
        painter->drawPixmap(layout.hiddenMarker, SymbolIcons::pixmap("eye.slash", layout.hiddenMarker.width(), tint, ratio));
    }
    if (!layout.hardLinkMarker.isEmpty()) {
        const QColor tint = selected ? primary : textColor(TextEmphasis::tertiary);
        painter->drawPixmap(layout.hardLinkMarker,
                            SymbolIcons::pixmap("square.on.square", layout.hardLinkMarker.width(), tint, ratio));
    }
    painter->restore();
}

bool FileTableDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    if (event && index.column() == FileTableModel::name && event->type() == QEvent::ToolTip) {
        QStyleOptionViewItem styled = option;
        initStyleOption(&styled, index);
        const NameLayout layout = layoutFor(styled, index);
        if (layout.hiddenMarker.contains(event->pos())) {
            QToolTip::showText(event->globalPos(), QStringLiteral("Hidden file"), view);
            return true;
        }
        if (layout.hardLinkMarker.contains(event->pos())) {
            QToolTip::showText(event->globalPos(), FileTableModel::hardLinkNote(), view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
