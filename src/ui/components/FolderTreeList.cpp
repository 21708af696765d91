#include "ui/components/FolderTreeList.h"

#include "ui/components/FolderTreeDelegate.h"
#include "ui/components/FolderTreeListModel.h"
#include "ui/components/FolderTreeRow.h"

#include <QMouseEvent>

FolderTreeList::FolderTreeList(FolderTreeModel* tree, QWidget* parent)
    : QListView(parent), rows_(new FolderTreeListModel(tree, this))
{
    setModel(rows_);
    setItemDelegate(new FolderTreeDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMinimumWidth(FolderTreeRow::minimumWidth());
}

QModelIndex FolderTreeList::chevronAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    const auto* row = rows_->row(index);
    if (!row || !FolderTreeRow::togglesAt(visualRect(index), *row, point))
        return {};
    return index;
}

bool FolderTreeList::pressChevron(QMouseEvent* event)
{
    pressed_ = QPersistentModelIndex();
    if (event->button() != Qt::LeftButton)
        return false;
    const QModelIndex index = chevronAt(event->position().toPoint());
    if (!index.isValid())
        return false;
    // The chevron is a button of its own: it neither selects the row nor opens it.
    pressed_ = index;
    event->accept();
    return true;
}

void FolderTreeList::mousePressEvent(QMouseEvent* event)
{
    if (!pressChevron(event))
        QListView::mousePressEvent(event);
}

void FolderTreeList::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A quick second click on the chevron toggles again, like any button.
    if (!pressChevron(event))
        QListView::mouseDoubleClickEvent(event);
}

void FolderTreeList::mouseReleaseEvent(QMouseEvent* event)
{
    if (!pressed_.isValid()) {
        QListView::mouseReleaseEvent(event);
        return;
    }
    const QModelIndex released = chevronAt(event->position().toPoint());
    const bool same = released.isValid() && released == QModelIndex(pressed_);
    pressed_ = QPersistentModelIndex();
    event->accept();
    if (!same)
        return;
    if (const auto* row = rows_->row(released))
        emit toggleRequested(row->folder);
}
