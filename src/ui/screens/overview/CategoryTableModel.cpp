#include "ui/screens/overview/CategoryTableModel.h"

#include "analysis/ByteFormatter.h"
#include "app/QtText.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/LocaleText.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
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
    const auto column = static_cast<Column>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case category: return qstr(displayName(usage.category));
        case size: return qstr(ByteFormatter::string(usage.bytes));
        case files: return LocaleText::integer(usage.fileCount);
        case detection: return qstr(detectionNote(usage.category));
        case share: return {};
        }
        return {};
    case Qt::ToolTipRole:
        return column == detection ? QVariant(qstr(detectionNote(usage.category))) : QVariant();
    case Qt::DecorationRole:
        return column == category ? QVariant(SymbolIcons::icon(symbolName(usage.category), categoryColor(usage.category)))
                                  : QVariant();
    case Qt::TextAlignmentRole:
        return alignment(column);
    case Qt::ForegroundRole:
        return column == files || column == detection ? QVariant(textColor(TextEmphasis::secondary)) : QVariant();
    case Qt::FontRole:
        return column == detection ? QVariant(textStyleFont(TextStyle::caption)) : QVariant();
    default:
        return {};
    }
}

QVariant CategoryTableModel::alignment(Column column)
{
    const Qt::Alignment side = column == size || column == files ? Qt::AlignRight : Qt::AlignLeft;
    return QVariant::fromValue(side | Qt::AlignVCenter);
}

QVariant CategoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    // The notes' heading wraps where their column is narrow.
    if (role == Qt::TextAlignmentRole)
        return section == detection ? QVariant(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap)
                                    : alignment(static_cast<Column>(section));
    if (role != Qt::DisplayRole)
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
