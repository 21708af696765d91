#pragma once

#include "index/FileRecords.h"
#include "ui/components/FileTableModel.h"

#include <QWidget>

#include <cstdint>
#include <set>
#include <vector>

class AppModel;
class FileContextMenu;
class QAction;
class QFontMetrics;
class QModelIndex;
class QTableView;

// The table of indexed files that the file screens share. The screen owns the
// files; the table owns its sort order, and the view's selection is the one
// selection. It acts on rows by revealing them, through their context menu, and
// with the Delete command.
class FileTable : public QWidget {
    Q_OBJECT

public:
    explicit FileTable(AppModel& model, bool showsRank = false, QWidget* parent = nullptr);

    void setFiles(std::vector<FileItem> files);
    const std::vector<FileItem>& files() const { return table_->files(); }

    // Ids of the selected rows; a file that leaves the list leaves the selection.
    std::set<std::int64_t> selection() const;
    // Selects the listed files among `selection`, and makes the first of them current.
    void setSelection(const std::set<std::int64_t>& selection);

    void setShowsRank(bool shows) { table_->setShowsRank(shows); }
    bool showsRank() const { return table_->showsRank(); }

    const FileTableModel::SortOrder& sortOrder() const { return table_->sortOrder(); }
    void setSortOrder(FileTableModel::SortOrder order);
    // What a click on the column's header does.
    void sortByColumn(FileTableModel::Column column);

    // A column's width when the table opens: its ideal width, widened for the date
    // columns when the font needs more room for a long date.
    static int idealWidth(FileTableModel::Column column, const QFontMetrics& metrics);

    QTableView* view() const { return view_; }
    FileTableModel* tableModel() const { return table_; }

    // The files a right-click at the row concerns: the whole selection when the row
    // is in it, otherwise that row alone; none for no row (-1).
    std::vector<FileItem> contextFiles(int row) const;
    // Opens the context menu for a right-click at a point of the view's viewport;
    // null on empty space.
    FileContextMenu* openContextMenu(const QPoint& viewportPosition);

    // The selected files, in the screen's order, offered for removal.
    void deleteSelection();
    // Shows the row, or the selection when the row is in it, in the file manager.
    void revealRow(int row);

signals:
    // The selected files changed; a new order or new rows for the same files do not count.
    void selectionChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<FileItem> filesWithIDs(const std::set<std::int64_t>& ids) const;
    void showSortIndicator();
    void announceSelection();

    AppModel& model_;
    FileTableModel* table_;
    QTableView* view_;
    QAction* deleteAction_;
    // What the last selectionChanged announced, so that moves of rows are not announced.
    std::set<std::int64_t> announced_;
};
