#include "ui/components/FolderTreeDelegate.h"

#include "ui/components/FolderTreeModel.h"
#include "ui/components/FolderTreeRow.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

void FolderTreeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const FolderTreeModel*>(index.model());
    const auto* row = model ? model->row(index) : nullptr;
    if (!row) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // Background, selection and focus come from the style; the row draws the rest.
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, option.widget);
    FolderTreeRow::paint(*painter, option.rect, *row, option.palette, option.state.testFlag(QStyle::State_Selected));
}

QSize FolderTreeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {FolderTreeRow::minimumWidth(), FolderTreeRow::height(option.font)};
}
