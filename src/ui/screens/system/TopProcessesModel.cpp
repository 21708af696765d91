#include "ui/screens/system/TopProcessesModel.h"

#include "app/QtText.h"
#include "index/Hashing.h"

std::size_t ProcessKeyHash::operator()(const ProcessKey& key) const noexcept
{
    return Hashing::of(key.pid, key.startTicks);
}

TopProcessesModel::TopProcessesModel(QObject* parent)
    : KeyedTableModel([](const TopProcessRow& row) { return ProcessKey::of(row.process); }, parent)
{
}

QVariant TopProcessesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() != 0)
        return {};
    const TopProcessRow& row = rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return qstr(row.process.name);
    case Qt::DecorationRole:
        return row.icon;
    case pidTextRole:
        return tr("PID %1").arg(row.process.pid);
    case valueRole:
        return row.value;
    case Qt::AccessibleTextRole:
        return QStringLiteral("%1, %2, %3").arg(qstr(row.process.name), tr("PID %1").arg(row.process.pid), row.value);
    default:
        return {};
    }
}

Qt::ItemFlags TopProcessesModel::flags(const QModelIndex& index) const
{
    // Read-only lines; nothing to select or edit.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
