#pragma once

#include <QRect>
#include <QStyledItemDelegate>

// Draws the rows of the duplicate results (summary, group header, copy) and turns a
// click on a copy's tick box into a request to toggle it.
class DuplicateRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int inset = 16;
    static constexpr int boxSize = 16;
    // The tick box of a copy's row, vertically centred at the leading inset.
    static QRect checkRect(const QRect& row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    // An enabled tick box was clicked.
    void tickClicked(const QModelIndex& index);
};
