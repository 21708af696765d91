#pragma once

#include "index/ScanRecords.h"
#include "ui/components/KeyedTableModel.h"

// The rows of the storage screen's category table, one per category in the order
// given: a category that stays is the same row, whatever its new figures.
class CategoryTableModel : public KeyedTableModel<CategoryUsage, StorageCategory> {
    Q_OBJECT

public:
    enum Column { category, size, files, share, detection };
    static constexpr int columnTotal = detection + 1;
    // The share of the categorised total, from 0 to 1.
    static constexpr int shareRole = Qt::UserRole + 1;

    explicit CategoryTableModel(QObject* parent = nullptr);

    void setCategories(std::vector<CategoryUsage> categories);
    // The sum of all rows' bytes.
    std::int64_t total() const { return total_; }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    static QVariant alignment(Column column);

    std::int64_t total_ = 0;
};
