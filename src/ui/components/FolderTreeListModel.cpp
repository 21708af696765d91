#include "ui/components/FolderTreeListModel.h"

#include "app/QtText.h"
#include "ui/components/FolderTreeRow.h"

FolderTreeListModel::FolderTreeListModel(FolderTreeModel* tree, QObject* parent)
    : QAbstractListModel(parent), tree_(tree), rows_(tree->rows())
{
    connect(tree, &FolderTreeModel::rowsChanged, this, &FolderTreeListModel::follow);
}

int FolderTreeListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

const FolderTreeModel::Row* FolderTreeListModel::row(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.row() < 0 || index.row() >= rowCount())
        return nullptr;
    return &rows_[static_cast<std::size_t>(index.row())];
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
    if (!tree_)
        return;
    const auto& next = tree_->rows();
    // Rows are identified by folder id; an expand or collapse changes one stretch in
    // the middle, between a prefix and a suffix that keep their folders.
    std::size_t prefix = 0;
    while (prefix < rows_.size() && prefix < next.size() && rows_[prefix].folder.id == next[prefix].folder.id)
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < rows_.size() - prefix && suffix < next.size() - prefix &&
           rows_[rows_.size() - 1 - suffix].folder.id == next[next.size() - 1 - suffix].folder.id)
        ++suffix;
    const auto removed = rows_.size() - prefix - suffix;
    const auto inserted = next.size() - prefix - suffix;
    const auto first = static_cast<int>(prefix);
    if (removed > 0) {
        beginRemoveRows({}, first, first + static_cast<int>(removed) - 1);
        rows_.erase(rows_.begin() + first, rows_.begin() + first + static_cast<std::ptrdiff_t>(removed));
        endRemoveRows();
    }
    if (inserted > 0) {
        beginInsertRows({}, first, first + static_cast<int>(inserted) - 1);
        rows_.insert(rows_.begin() + first, next.begin() + first, next.begin() + first + static_cast<std::ptrdiff_t>(inserted));
        endInsertRows();
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i] == next[i])
            continue;
        rows_[i] = next[i];
        const QModelIndex changed = index(static_cast<int>(i));
        emit dataChanged(changed, changed);
    }
}
