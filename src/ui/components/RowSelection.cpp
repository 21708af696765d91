#include "ui/components/RowSelection.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTableView>

void setUpRowTable(QTableView& table, QAbstractItemView::SelectionMode mode)
{
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(mode);
    table.setShowGrid(false);
    table.setAlternatingRowColors(true);
    table.verticalHeader()->hide();
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.setWordWrap(false);
    table.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table.setContextMenuPolicy(Qt::CustomContextMenu);
    table.horizontalHeader()->setHighlightSections(false);
}

void selectForContextMenu(QAbstractItemView& view, const QModelIndex& index)
{
    QItemSelectionModel* selection = view.selectionModel();
    if (!index.isValid() || !selection || view.selectionMode() == QAbstractItemView::NoSelection)
        return;
    if (selection->isRowSelected(index.row(), index.parent()))
        return;
    const auto rows = view.selectionBehavior() == QAbstractItemView::SelectRows ? QItemSelectionModel::Rows
                                                                               : QItemSelectionModel::NoUpdate;
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | rows);
}

void keepCurrentInFirstColumn(QTableView& table)
{
    QItemSelectionModel* selection = table.selectionModel();
    QObject::connect(selection, &QItemSelectionModel::currentChanged, &table,
                     [&table, selection](const QModelIndex& current) {
                         if (!current.isValid())
                             return;
                         if (current.column() != 0) {
                             // Comes back here with the first column.
                             selection->setCurrentIndex(current.siblingAtColumn(0), QItemSelectionModel::NoUpdate);
                             return;
                         }
                         QScrollBar* sideways = table.horizontalScrollBar();
                         sideways->setValue(sideways->minimum());
                     });
}
