#include "ui/components/FolderTreeListModel.h"

#include "app/QtText.h"
#include "ui/components/FolderTreeRow.h"

FolderTreeListModel::FolderTreeListModel(FolderTreeModel* tree, QObject* parent)
    : KeyedTableModel([](const FolderTreeModel::Row& row) { return row.folder.id; }, parent), tree_(tree)
{
    connect(tree, &FolderTreeModel::rowsChanged, this, &FolderTreeListModel::follow);
    follow();
}

int FolderTreeListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

const FolderTreeModel::Row* FolderTreeListModel::row(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.row() < 0 || index.row() >= rowCount())
        return nullptr;
    return &rowAt(index.row());
}

QVariant FolderTreeListModel::data(const QModelIndex& index, int role) const
{
    const auto* shown = row(index);
    if (!shown)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return FolderTreeRow::nameText(shown->folder);
    case Qt::ToolTipRole:
        return qstr(shown->folder.path);
    case Qt::AccessibleDescriptionRole:
        if (shown->folder.folderCount > 0)
            return FolderTreeRow::chevronAccessibleName(shown->isExpanded);
        return {};
    default:
        return {};
    }
}

void FolderTreeListModel::follow()
{
    if (tree_)
        replaceRows(tree_->rows());
}
