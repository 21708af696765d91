#include "ui/screens/frame/SidebarList.h"

#include <QEvent>

SidebarList::SidebarList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
}

QListWidgetItem* SidebarList::addHeading(const QString& text)
{
    auto* heading = new QListWidgetItem(text, this);
    // Not enabled either, so that neither a click nor the keyboard lands on it.
    heading->setFlags(Qt::NoItemFlags);
    return heading;
}

int SidebarList::steppedRow(const std::vector<bool>& selectable, int from, int direction)
{
    const int count = static_cast<int>(selectable.size());
    for (int row = from + direction; row >= 0 && row < count; row += direction)
        if (selectable[static_cast<std::size_t>(row)])
            return row;
    return -1;
}

bool SidebarList::isSelectable(int row) const
{
    const QListWidgetItem* entry = item(row);
    return entry && (entry->flags() & Qt::ItemIsSelectable) && (entry->flags() & Qt::ItemIsEnabled);
}

std::vector<bool> SidebarList::selectableRows() const
{
    std::vector<bool> rows(static_cast<std::size_t>(count()));
    for (int row = 0; row < count(); ++row)
        rows[static_cast<std::size_t>(row)] = isSelectable(row);
    return rows;
}

QItemSelectionModel::SelectionFlags SidebarList::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    if (!index.isValid() || !isSelectable(index.row()))
        return QItemSelectionModel::NoUpdate;
    if (event && event->type() == QEvent::MouseButtonRelease)
        return QItemSelectionModel::NoUpdate;
    // Never a toggle: the row clicked becomes the one selection, Ctrl held or not.
    return QItemSelectionModel::ClearAndSelect;
}

QModelIndex SidebarList::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const std::vector<bool> selectable = selectableRows();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    int row = -1;
    switch (action) {
    case MoveUp:
    case MovePrevious:
        row = steppedRow(selectable, current, -1);
        break;
    case MoveDown:
    case MoveNext:
        row = current < 0 ? steppedRow(selectable, -1, 1) : steppedRow(selectable, current, 1);
        break;
    case MoveHome:
        row = steppedRow(selectable, -1, 1);
        break;
    case MoveEnd:
        row = steppedRow(selectable, count(), -1);
        break;
    case MovePageUp:
    case MovePageDown: {
        // The page the view would move by, then the nearest row that can be selected.
        const QModelIndex paged = QListWidget::moveCursor(action, modifiers);
        const int landed = paged.isValid() ? paged.row() : current;
        const int direction = action == MovePageUp ? -1 : 1;
        if (landed >= 0 && landed < count() && selectable[static_cast<std::size_t>(landed)])
            row = landed;
        else if ((row = steppedRow(selectable, landed, direction)) < 0)
            row = steppedRow(selectable, landed, -direction);
        break;
    }
    case MoveLeft:
    case MoveRight:
        break;
    }
    return row >= 0 ? model()->index(row, 0) : currentIndex();
}
