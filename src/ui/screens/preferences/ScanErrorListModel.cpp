#include "ui/screens/preferences/ScanErrorListModel.h"

#include "analysis/HomeAbbreviation.h"
#include "app/QtText.h"
#include "ui/components/LocaleText.h"

ScanErrorListModel::ScanErrorListModel(QObject* parent)
    : KeyedTableModel([](const ScanErrorEntry& entry) { return entry.id; }, parent)
{
}

int ScanErrorListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant ScanErrorListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() != 0)
        return {};
    const ScanErrorEntry& entry = rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return qstr(abbreviatingHome(entry.path));
    case Qt::ToolTipRole:
        return qstr(entry.path);
    case detailRole:
        return LocaleText::abbreviatedDate(entry.date, LocaleText::TimeStyle::standard) + QStringLiteral(" — ") +
               qstr(entry.message);
    default:
        return {};
    }
}
