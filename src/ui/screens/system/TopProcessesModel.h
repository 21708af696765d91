#pragma once

#include "index/ProcessRecords.h"
#include "ui/components/KeyedTableModel.h"
#include "ui/screens/system/ProcessTableModel.h"

#include <QIcon>
#include <QString>

#include <vector>

// One line of a top list: the process with the figure and icon its screen shows.
struct TopProcessRow {
    ProcessSnapshot process;
    QString value;
    QIcon icon;

    friend bool operator==(const TopProcessRow& a, const TopProcessRow& b)
    {
        return a.process == b.process && a.value == b.value && a.icon.cacheKey() == b.icon.cacheKey();
    }
};

// The ranked processes of a top list; a process keeps its row from sample to sample
// while it stays in the list. The list draws a row's columns as one line.
class TopProcessesModel : public KeyedTableModel<TopProcessRow, ProcessRowKey, ProcessRowKeyHash> {
    Q_OBJECT

public:
    enum Column { nameColumn, pidColumn, valueColumn, columnTotal };

    explicit TopProcessesModel(QObject* parent = nullptr);

    void setRows(std::vector<TopProcessRow> rows) { replaceRows(std::move(rows)); }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : columnTotal;
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
};
