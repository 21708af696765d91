#pragma once

#include "ui/screens/system/AppRow.h"

#include <QAbstractTableModel>

#include <optional>
#include <vector>

// The applications table's rows, in the table's sort order. New rows with the same
// paths in the same order update the cells in place, so selection and scrolling stay.
class ApplicationsTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ApplicationsTableModel(QObject* parent = nullptr);

    // Sorts the rows by the current order and shows them.
    void setRows(std::vector<AppRow> rows);
    const std::vector<AppRow>& rows() const { return rows_; }
    std::optional<int> rowOf(const std::string& path) const;

    bool ascending() const { return ascending_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    static QString title(AppRow::Column column);
    // "—" when not running, "Restricted", or the value.
    static QString usageText(const AppRow& row, AppRow::Column column);

private:
    std::vector<AppRow> rows_;
    AppRow::Column column_ = AppRow::Column::size;
    bool ascending_ = false;
};
