#pragma once

#include <QTreeView>

class FolderTreeModel;

// The folder tree under a plain tree view: Qt draws the indentation and chevrons and
// handles the keys, the delegate draws each line. Folders a load opens are expanded,
// and a folder whose children could not be read is closed again. It asks for a menu
// through customContextMenuRequested, having made the folder under the pointer the
// selection first. What a double-click or the menu does is up to the screen.
class FolderTreeView : public QTreeView {
    Q_OBJECT

public:
    explicit FolderTreeView(FolderTreeModel* tree, QWidget* parent = nullptr);

    FolderTreeModel* tree() const { return tree_; }

private:
    FolderTreeModel* tree_;
};
