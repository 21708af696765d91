#pragma once

#include <QAbstractItemView>

class QModelIndex;
class QTableView;

// How the screens' tables that select whole rows are made, and how they treat the row a
// person acts on.

// Every such table: whole rows selected as `mode` allows, no grid, alternating rows
// without row numbers, nothing edited in place, one line per row, scrolled sideways by
// the pixel, and a menu that the screen builds (customContextMenuRequested).
void setUpRowTable(QTableView& table, QAbstractItemView::SelectionMode mode);

// Before a row's context menu opens, the row it acts on is the one the view shows as
// selected: a right-clicked row outside the selection becomes the selection and the
// current row, a row inside it keeps the whole selection. Views without selection and
// clicks beside the rows change nothing.
void selectForContextMenu(QAbstractItemView& view, const QModelIndex& index);

// Keeps the current index in the first column, whatever cell was clicked, and the
// table scrolled to its start: the view scrolls to its current cell, and a click on a
// column far right would otherwise scroll the names, read first, out of sight.
void keepCurrentInFirstColumn(QTableView& table);
