#include "ui/screens/overview/CategoryTableModel.h"

#include "analysis/ByteFormatter.h"
#include "app/QtText.h"
#include "ui/components/LocaleText.h"
#include "ui/screens/overview/CategoryTable.h"

CategoryTableModel::CategoryTableModel(QObject* parent)
    : KeyedTableModel([](const CategoryUsage& usage) { return usage.category; }, parent)
{
}

void CategoryTableModel::setCategories(std::vector<CategoryUsage> categories)
{
    const std::int64_t total = CategoryTable::total(categories);
    const bool shareChanged = total != total_;
    total_ = total;
    replaceRows(std::move(categories));
    // Every share is measured against the total.
    if (shareChanged)
        redrawAll();
}

int CategoryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnTotal;
}

QVariant CategoryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CategoryUsage& usage = rowAt(index.row());
    if (role == shareRole)
        return CategoryTable::share(usage.bytes, total_);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case category:
        return qstr(displayName(usage.category));
    case size:
        return role == Qt::DisplayRole ? QVariant(qstr(ByteFormatter::string(usage.bytes))) : QVariant();
    case files:
        return role == Qt::DisplayRole ? QVariant(LocaleText::integer(usage.fileCount)) : QVariant();
    case detection:
        return qstr(detectionNote(usage.category));
    default:
        return {};
    }
}

QVariant CategoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case category: return QStringLiteral("Category");
    case size: return QStringLiteral("Size");
    case files: return QStringLiteral("Files");
    case share: return QStringLiteral("Share");
    case detection: return QStringLiteral("How it's detected");
    default: return {};
    }
}
