#pragma once

#include "ui/components/FolderTreeModel.h"
#include "ui/components/KeyedTableModel.h"

#include <QPointer>

#include <cstdint>

// The rows of a FolderTreeModel as a Qt list model. Rows are folders matched by id,
// so an expand, a collapse or a reload inserts, removes and moves rows, and the
// view keeps its selection, current row and scroll position on the same folders.
class FolderTreeListModel : public KeyedTableModel<FolderTreeModel::Row, std::int64_t> {
    Q_OBJECT

public:
    explicit FolderTreeListModel(FolderTreeModel* tree, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The tree row at `index`, null for an index outside the list.
    const FolderTreeModel::Row* row(const QModelIndex& index) const;

private:
    void follow();

    QPointer<FolderTreeModel> tree_;
};
