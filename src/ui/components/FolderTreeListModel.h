#pragma once

#include "ui/components/FolderTreeModel.h"

#include <QAbstractListModel>
#include <QPointer>

#include <vector>

// The rows of a FolderTreeModel as a Qt list model. Changes arrive as the rows that
// were inserted, removed or changed, so the view keeps its selection and scroll
// position when a folder expands or collapses.
class FolderTreeListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit FolderTreeListModel(FolderTreeModel* tree, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The tree row at `index`, null for an index outside the list.
    const FolderTreeModel::Row* row(const QModelIndex& index) const;

private:
    void follow();

    QPointer<FolderTreeModel> tree_;
    std::vector<FolderTreeModel::Row> rows_;
};
