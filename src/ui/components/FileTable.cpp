#include "ui/components/FileTable.h"

#include "analysis/FileItemPath.h"
#include "app/AppModel.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/RowSelection.h"
#include "ui/components/FileContextMenu.h"
#include "ui/components/FileTableDelegate.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelection>
#include <QMouseEvent>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

FileTable::FileTable(AppModel& model, bool showsRank, QWidget* parent)
    : QWidget(parent), model_(model), table_(new FileTableModel(this)), view_(new QTableView(this)),
      deleteAction_(new QAction(this))
{
    deleteAction_->setObjectName(QStringLiteral("deleteAction"));
    table_->setShowsRank(showsRank);
    view_->setModel(table_);
    view_->setItemDelegate(new FileTableDelegate(view_));
    setUpRowTable(*view_, QAbstractItemView::ExtendedSelection);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 8);
    view_->viewport()->installEventFilter(this);

    QHeaderView* header = view_->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setStretchLastSection(true);
    int smallest = FileTableModel::columns().front().minimumWidth;
    for (const auto& column : FileTableModel::columns())
        smallest = std::min(smallest, column.minimumWidth);
    header->setMinimumSectionSize(smallest);
    for (int i = 0; i < FileTableModel::columnTotal; ++i)
        header->resizeSection(i, idealWidth(static_cast<FileTableModel::Column>(i), view_->fontMetrics()));
    // The header knows one minimum for all columns; each column has its own. The last
    // one stretches to the table's edge and is left to the header.
    connect(header, &QHeaderView::sectionResized, this, [header](int section, int, int width) {
        const int minimum = FileTableModel::columns()[static_cast<std::size_t>(section)].minimumWidth;
        if (width < minimum && section != FileTableModel::columnTotal - 1)
            header->resizeSection(section, minimum);
    });
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int section) { sortByColumn(static_cast<FileTableModel::Column>(section)); });
    showSortIndicator();

    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &FileTable::announceSelection);
    // Rows that leave take their selection with them, which the selection model does not always announce.
    connect(table_, &QAbstractItemModel::rowsRemoved, this, &FileTable::announceSelection);
    connect(view_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { revealRow(index.row()); });
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { openContextMenu(position); });

    deleteAction_->setShortcut(QKeySequence::Delete);
    deleteAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(deleteAction_, &QAction::triggered, this, [this] { deleteSelection(); });
    view_->addAction(deleteAction_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

void FileTable::setFiles(std::vector<FileItem> files)
{
    table_->setFiles(std::move(files));
}

std::set<std::int64_t> FileTable::selection() const
{
    std::set<std::int64_t> ids;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        ids.insert(table_->fileAt(index.row()).id);
    return ids;
}

void FileTable::setSelection(const std::set<std::int64_t>& selection)
{
    std::vector<int> rows;
    for (std::int64_t id : selection)
        if (const int row = table_->rowOf(id); row >= 0)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    QItemSelection shown;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t end = i;
        while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1)
            ++end;
        shown.select(table_->index(rows[i], 0), table_->index(rows[end], FileTableModel::columnTotal - 1));
        i = end + 1;
    }
    QItemSelectionModel* selectionModel = view_->selectionModel();
    if (!rows.empty())
        selectionModel->setCurrentIndex(table_->index(rows.front(), 0), QItemSelectionModel::NoUpdate);
    selectionModel->select(shown, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void FileTable::setSortOrder(FileTableModel::SortOrder order)
{
    table_->setSortOrder(std::move(order));
    showSortIndicator();
}

void FileTable::sortByColumn(FileTableModel::Column column)
{
    setSortOrder(FileTableModel::afterHeaderClick(sortOrder(), column));
}

int FileTable::idealWidth(FileTableModel::Column column, const QFontMetrics& metrics)
{
    const int ideal = FileTableModel::columns()[static_cast<std::size_t>(column)].idealWidth;
    if (column != FileTableModel::modified && column != FileTableModel::created)
        return ideal;
    // 28 September 2026, 22:58 UTC: a long month, day and hour.
    FileItem longest;
    longest.modified = 1790636280.0;
    longest.created = longest.modified;
    const int cellMargins = 12;
    return std::max(ideal, metrics.horizontalAdvance(FileTableModel::cellText(longest, column)) + cellMargins);
}

std::vector<FileItem> FileTable::contextFiles(int row) const
{
    if (row < 0 || row >= table_->rowCount())
        return {};
    const FileItem& file = table_->fileAt(row);
    if (view_->selectionModel()->isRowSelected(row, QModelIndex()))
        return filesWithIDs(selection());
    return {file};
}

FileContextMenu* FileTable::openContextMenu(const QPoint& viewportPosition)
{
    const QModelIndex index = view_->indexAt(viewportPosition);
    selectForContextMenu(*view_, index);
    FileContextMenu* menu = FileContextMenu::create(model_, contextFiles(index.isValid() ? index.row() : -1), this);
    if (menu)
        menu->popup(view_->viewport()->mapToGlobal(viewportPosition));
    return menu;
}

void FileTable::deleteSelection()
{
    std::vector<FileItem> files = filesWithIDs(selection());
    // A repaired name on the path is not the real one; the context menu never offers it either.
    std::erase_if(files, [](const FileItem& file) {
        return file.flags.contains(FileItem::Flags::invalidName) || SecurityUtils::hasRepairedName(pathOf(file));
    });
    // Nothing to offer is no refusal: raise no alert.
    if (files.empty())
        return;
    model_.requestTrash(FileContextMenu::trashCandidates(files));
}

void FileTable::revealRow(int row)
{
    std::vector<std::string> paths;
    for (const FileItem& file : contextFiles(row))
        paths.push_back(pathOf(file));
    if (!paths.empty())
        FinderActions::reveal(paths, model_.desktop());
}

bool FileTable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_->viewport()) {
        const QEvent::Type type = event->type();
        // The view would select the row under a right-press; the menu acts on that row
        // alone without touching the selection.
        if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
             type == QEvent::MouseButtonDblClick) &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

std::vector<FileItem> FileTable::filesWithIDs(const std::set<std::int64_t>& ids) const
{
    std::vector<FileItem> chosen;
    for (const FileItem& file : table_->files())
        if (ids.contains(file.id))
            chosen.push_back(file);
    return chosen;
}

void FileTable::announceSelection()
{
    std::set<std::int64_t> now = selection();
    if (now == announced_)
        return;
    announced_ = std::move(now);
    emit selectionChanged();
}

void FileTable::showSortIndicator()
{
    if (sortOrder().empty()) {
        view_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        return;
    }
    const FileTableModel::SortKey& first = sortOrder().front();
    view_->horizontalHeader()->setSortIndicator(first.column,
                                                first.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}
