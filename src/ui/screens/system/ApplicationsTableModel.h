#pragma once

#include "ui/components/KeyedTableModel.h"
#include "ui/screens/system/AppRow.h"

#include <optional>
#include <string>
#include <vector>

// The applications table's rows, in the table's sort order, matched by each
// application's identity: a new listing, a measured size or a process sample
// updates the rows in place, so the view's selection, current row and scrolling stay.
class ApplicationsTableModel : public KeyedTableModel<AppRow, std::string> {
    Q_OBJECT

public:
    explicit ApplicationsTableModel(QObject* parent = nullptr);

    // Sorts the rows by the current order and shows them.
    void setRows(std::vector<AppRow> rows);
    std::optional<int> rowOf(const std::string& id) const;

    bool ascending() const { return ascending_; }

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    static QString title(AppRow::Column column);
    // "—" when not running, "Restricted", or the value.
    static QString usageText(const AppRow& row, AppRow::Column column);

private:
    AppRow::Column column_ = AppRow::Column::size;
    bool ascending_ = false;
};
