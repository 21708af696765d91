#pragma once

#include "index/ScanRecords.h"
#include "scanning/TrashCandidate.h"
#include "ui/components/ChartRecords.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class AppModel;
class BreadcrumbBar;
class ChartPane;
class FolderTreeModel;
class FolderTreeView;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolButton;
class SizeBarChart;

// The index's folder tree by allocated size: a breadcrumb bar for the focus folder,
// a lazily expanded tree, an optional bar chart of the largest folders at the
// current level, and per-folder actions.
class LargestFoldersView : public QWidget {
    Q_OBJECT

public:
    explicit LargestFoldersView(AppModel& model, QWidget* parent = nullptr);

    // Shows how to grant access to a restricted folder; set by whoever owns the sheet.
    using PermissionHelp = std::function<void(QWidget* parent)>;
    void setPermissionHelp(PermissionHelp show) { permissionHelp_ = std::move(show); }

    // The folders the chart is drawn from: several roots at the top level, otherwise
    // the cached children of the first root (none when they were not read).
    static std::vector<FolderItem> chartSource(const std::vector<FolderItem>& roots, bool hasFocus,
                                               const std::vector<FolderItem>* firstRootChildren);
    // At most 12 bars in source order; roots are labelled by path, restricted ones orange.
    static std::vector<SizeBarItem> chartItems(const std::vector<FolderItem>& source, const QColor& accent);
    static TrashCandidate trashCandidate(const FolderItem& folder);

    FolderTreeModel* tree() const { return tree_; }
    FolderTreeView* treeView() const { return treeView_; }
    SizeBarChart* chart() const { return chart_; }
    QToolButton* chartToggle() const { return chartToggle_; }
    QToolButton* revealButton() const { return revealButton_; }

    // The tree's selection is the one selection: the folder of the selected line, if any.
    std::optional<std::int64_t> selection() const;
    // Selects the folder's line and makes it current; none, or a folder not in the tree, selects nothing.
    void setSelection(std::optional<std::int64_t> id);
    std::optional<FolderItem> selectedFolder() const;

    // What a double-click does: drills in, or explains a restricted folder.
    void openRow(std::int64_t folderID);
    // The folder's menu; its Trash item waits for the path's verdict, judged in the background.
    QMenu* folderMenu(const FolderItem& folder, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void load();
    void refresh();
    void centreBusyIndicator();
    void refreshChart();
    void giveChartRoom();
    void showContents(const FolderItem& folder);
    void largestFilesIn(const FolderItem& folder);

    AppModel& model_;
    FolderTreeModel* tree_;
    BreadcrumbBar* breadcrumbs_;
    QStackedWidget* pages_;
    QSplitter* split_;
    ChartPane* chartPane_;
    bool chartNeedsRoom_ = false;
    SizeBarChart* chart_;
    FolderTreeView* treeView_;
    QToolButton* chartToggle_;
    QToolButton* revealButton_;
    QWidget* busy_;
    std::string loadKey_;
    PermissionHelp permissionHelp_;
};
