#include "ui/screens/files/DuplicateRowDelegate.h"

#include "ui/components/CategoryColor.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/files/DuplicateListModel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

using Kind = DuplicateListModel::Kind;

Kind kindOf(const QModelIndex& index)
{
    return static_cast<Kind>(index.data(DuplicateListModel::kindRole).toInt());
}

// Draws `text` in one line inside `rect`, shortened with `mode` when it does not fit.
void drawLine(QPainter* painter, const QRect& rect, const QString& text, const QFont& font, const QColor& color,
              Qt::Alignment alignment, Qt::TextElideMode mode = Qt::ElideRight)
{
    painter->setFont(font);
    painter->setPen(color);
    painter->drawText(rect, alignment | Qt::AlignVCenter, QFontMetrics(font).elidedText(text, mode, rect.width()));
}

} // namespace

QRect DuplicateRowDelegate::checkRect(const QRect& row)
{
    return {row.left() + inset, row.top() + (row.height() - boxSize) / 2, boxSize, boxSize};
}

QSize DuplicateRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int body = QFontMetrics(option.font).height();
    const int caption = QFontMetrics(textStyleFont(TextStyle::caption)).height();
    switch (kindOf(index)) {
    case Kind::summary: return {200, body + 20};
    case Kind::header: return {200, QFontMetrics(textStyleFont(TextStyle::subheadline)).height() + 12};
    case Kind::file: return {200, body + caption + 1 + 8};
    }
    return {};
}

void DuplicateRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    const QRect row = option.rect;
    const QRect inner = row.adjusted(inset, 0, -inset, 0);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QString detail = index.data(DuplicateListModel::detailRole).toString();
    const QFont body = option.font;
    const QColor primary = option.palette.color(QPalette::Text);
    const QColor secondary = textColor(TextEmphasis::secondary);

    switch (kindOf(index)) {
    case Kind::summary: {
        QFont bold = body;
        bold.setWeight(QFont::DemiBold);
        const int savingsWidth = QFontMetrics(bold).horizontalAdvance(detail);
        drawLine(painter, inner.adjusted(savingsWidth + 12, 0, 0, 0), detail, bold, primary, Qt::AlignRight);
        drawLine(painter, inner.adjusted(0, 0, -savingsWidth - 12, 0), text, body, primary, Qt::AlignLeft);
        break;
    }
    case Kind::header: {
        painter->fillRect(row, option.palette.color(QPalette::Window));
        const QFont font = textStyleFont(TextStyle::subheadline, QFont::DemiBold);
        const int totalsWidth = QFontMetrics(font).horizontalAdvance(detail);
        drawLine(painter, inner, detail, font, secondary, Qt::AlignRight);
        drawLine(painter, inner.adjusted(0, 0, -totalsWidth - 12, 0), text, font, secondary, Qt::AlignLeft);
        break;
    }
    case Kind::file: {
        QStyleOptionButton box;
        box.rect = checkRect(row);
        box.state = index.data(DuplicateListModel::tickedRole).toBool() ? QStyle::State_On : QStyle::State_Off;
        box.palette = option.palette;
        // The style draws a box without State_Enabled like an enabled one unless its colours say otherwise.
        if (index.data(DuplicateListModel::tickEnabledRole).toBool())
            box.state |= QStyle::State_Enabled;
        else
            box.palette.setCurrentColorGroup(QPalette::Disabled);
        QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);

        const auto category = storageCategoryFromRawValue(index.data(DuplicateListModel::categoryRole).toInt());
        const StorageCategory shown = category.value_or(StorageCategory::other);
        const QRect icon(box.rect.right() + 9, row.top() + (row.height() - 16) / 2, 16, 16);
        painter->drawPixmap(icon, SymbolIcons::pixmap(symbolName(shown), 16, categoryColor(shown)));

        const QFont caption = textStyleFont(TextStyle::caption);
        const QString date = index.data(DuplicateListModel::dateRole).toString();
        const int dateWidth = QFontMetrics(caption).horizontalAdvance(date);
        drawLine(painter, inner, date, caption, secondary, Qt::AlignRight);

        const int nameHeight = QFontMetrics(body).height();
        const int captionHeight = QFontMetrics(caption).height();
        const int top = row.top() + (row.height() - nameHeight - 1 - captionHeight) / 2;
        const int left = icon.right() + 9;
        const int right = inner.right() - (dateWidth > 0 ? dateWidth + 12 : 0);
        drawLine(painter, QRect(left, top, right - left, nameHeight), text, body, primary, Qt::AlignLeft,
                 Qt::ElideMiddle);
        drawLine(painter, QRect(left, top + nameHeight + 1, right - left, captionHeight), detail, caption, secondary,
                 Qt::AlignLeft, Qt::ElideLeft);
        break;
    }
    }
    painter->restore();
}

bool DuplicateRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                       const QModelIndex& index)
{
    if (kindOf(index) != Kind::file)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    if (event->type() != QEvent::MouseButtonRelease && event->type() != QEvent::MouseButtonPress &&
        event->type() != QEvent::MouseButtonDblClick)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || !checkRect(option.rect).contains(mouse->position().toPoint()))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    // The box takes its own clicks, so a quick second click never reveals the file.
    if (event->type() == QEvent::MouseButtonRelease && index.data(DuplicateListModel::tickEnabledRole).toBool())
        emit tickClicked(index);
    return true;
}
