#pragma once

#include "index/ScanRecords.h"
#include "ui/components/KeyedTableModel.h"

#include <cstdint>
#include <vector>

// The listed scan problems, newest first, keyed by their row id: a reload keeps the
// entries that are still logged as the same rows.
class ScanErrorListModel : public KeyedTableModel<ScanErrorEntry, std::int64_t> {
public:
    enum Role { detailRole = Qt::UserRole + 1 }; // the date, " — " and the message

    explicit ScanErrorListModel(QObject* parent = nullptr);

    void setEntries(std::vector<ScanErrorEntry> entries) { replaceRows(std::move(entries)); }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
};
