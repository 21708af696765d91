#pragma once

#include "index/FileRecords.h"

#include <QListView>
#include <QPersistentModelIndex>

class FolderTreeModel;
class FolderTreeListModel;

// A list of the tree's rows, one folder tree line each. A click on a row's chevron
// asks for that folder to be expanded or collapsed; what that does is up to the
// screen, which also owns selection, double-clicks and keys.
class FolderTreeList : public QListView {
    Q_OBJECT

public:
    explicit FolderTreeList(FolderTreeModel* tree, QWidget* parent = nullptr);

    FolderTreeListModel* rows() const { return rows_; }

signals:
    void toggleRequested(const FolderItem& folder);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The row whose chevron is at `point`, or an invalid index.
    QModelIndex chevronAt(const QPoint& point) const;
    bool pressChevron(QMouseEvent* event);

    FolderTreeListModel* rows_;
    QPersistentModelIndex pressed_;
};
