#include "ui/components/FolderTreeView.h"

#include "ui/components/FolderTreeDelegate.h"
#include "ui/components/FolderTreeModel.h"
#include "ui/components/FolderTreeRow.h"
#include "ui/components/RowSelection.h"

#include <QHeaderView>

FolderTreeView::FolderTreeView(FolderTreeModel* tree, QWidget* parent) : QTreeView(parent), tree_(tree)
{
    setModel(tree_);
    setItemDelegate(new FolderTreeDelegate(this));
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    setUniformRowHeights(true);
    setIndentation(FolderTreeRow::indentation);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A double-click opens the folder on the screen; the chevron and the arrows expand.
    setExpandsOnDoubleClick(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMinimumWidth(FolderTreeRow::minimumWidth() + FolderTreeRow::indentation);
    connect(tree_, &FolderTreeModel::opened, this, [this](const QModelIndex& index) { expand(index); });
    connect(tree_, &FolderTreeModel::childReadFailed, this, [this](const QModelIndex& index) { collapse(index); });
    // Connected first, so it runs before the screen builds the menu: the menu acts on
    // the folder clicked, so that one is what the screen shows as chosen.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { selectForContextMenu(*this, indexAt(point)); });
}
