#pragma once

#include <QListWidget>

#include <vector>

// The sidebar's list of screens under their section headings. A heading is never
// selected: a click on it, or on empty space, leaves the selection as it is; the
// arrow, Home, End and page keys step over headings; and a Ctrl+click never takes
// the selection away from the selected row.
class SidebarList : public QListWidget {
    Q_OBJECT

public:
    explicit SidebarList(QWidget* parent = nullptr);

    // Adds a section heading, which no key or click can select.
    QListWidgetItem* addHeading(const QString& text);

    // The nearest row after `from` (direction 1) or before it (direction -1) for which
    // `selectable` holds; -1 when there is none that way.
    static int steppedRow(const std::vector<bool>& selectable, int from, int direction);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    bool isSelectable(int row) const;
    std::vector<bool> selectableRows() const;
};
