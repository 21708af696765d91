#include "ui/screens/system/TopProcessesModel.h"

#include "app/QtText.h"

TopProcessesModel::TopProcessesModel(QObject* parent)
    : KeyedTableModel([](const TopProcessRow& row) { return ProcessRowKey::of(row.process); }, parent)
{
}

QVariant TopProcessesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnTotal)
        return {};
    const TopProcessRow& row = rowAt(index.row());
    const QString pid = tr("PID %1").arg(row.process.pid);
    if (role == Qt::DecorationRole && index.column() == nameColumn)
        return row.icon;
    if (role == Qt::AccessibleTextRole && index.column() == nameColumn)
        return QStringLiteral("%1, %2, %3").arg(qstr(row.process.name), pid, row.value);
    if (role != Qt::DisplayRole)
        return {};
    switch (static_cast<Column>(index.column())) {
    case nameColumn:
        return qstr(row.process.name);
    case pidColumn:
        return pid;
    case valueColumn:
    case columnTotal:
        break;
    }
    return row.value;
}

Qt::ItemFlags TopProcessesModel::flags(const QModelIndex& index) const
{
    // Read-only lines; nothing to select or edit.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
