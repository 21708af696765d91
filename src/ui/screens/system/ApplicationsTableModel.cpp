#include "ui/screens/system/ApplicationsTableModel.h"

#include "analysis/ByteFormatter.h"
#include "app/QtText.h"
#include "ui/components/ApplicationIcon.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QColor>
#include <QFont>
#include <QIcon>

namespace {

const QString dash = QStringLiteral("\u2014");

} // namespace

ApplicationsTableModel::ApplicationsTableModel(QObject* parent)
    : KeyedTableModel([](const AppRow& row) { return row.id(); }, parent)
{
    connect(&ApplicationIcon::announcer(), &ApplicationIcon::found, this, [this] { redrawAll(); });
}

void ApplicationsTableModel::setRows(std::vector<AppRow> rows)
{
    AppRow::sort(rows, column_, ascending_);
    replaceRows(std::move(rows));
}

std::optional<int> ApplicationsTableModel::rowOf(const std::string& id) const
{
    const int row = rowOfKey(id);
    return row < 0 ? std::nullopt : std::optional<int>(row);
}

int ApplicationsTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : AppRow::columnCount;
}

QString ApplicationsTableModel::title(AppRow::Column column)
{
    switch (column) {
    case AppRow::Column::application: return QStringLiteral("Application");
    case AppRow::Column::version: return QStringLiteral("Version");
    case AppRow::Column::developer: return QStringLiteral("Developer");
    case AppRow::Column::size: return QStringLiteral("App Size");
    case AppRow::Column::memory: return QStringLiteral("RAM");
    case AppRow::Column::cpu: return QStringLiteral("CPU");
    case AppRow::Column::status: return QStringLiteral("Status");
    case AppRow::Column::architecture: return QStringLiteral("Architecture");
    }
    return {};
}

QString ApplicationsTableModel::usageText(const AppRow& row, AppRow::Column column)
{
    switch (AppRow::usageKind(row.usage)) {
    case AppRow::UsageText::notRunning: return dash;
    case AppRow::UsageText::restricted: return QStringLiteral("Restricted");
    case AppRow::UsageText::value: break;
    }
    if (column == AppRow::Column::memory)
        return qstr(ByteFormatter::string(row.usage.memoryBytes));
    return QString::asprintf("%.1f%%", row.usage.cpuPercent);
}

QVariant ApplicationsTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const AppRow& row = rowAt(index.row());
    const auto column = static_cast<AppRow::Column>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case AppRow::Column::application: return qstr(row.info.name);
        case AppRow::Column::version: return qstr(row.info.displayVersion());
        case AppRow::Column::developer: return row.info.developer ? qstr(*row.info.developer) : dash;
        case AppRow::Column::size: return row.size ? qstr(ByteFormatter::string(*row.size)) : QStringLiteral("\u2026");
        case AppRow::Column::memory:
        case AppRow::Column::cpu: return usageText(row, column);
        case AppRow::Column::status:
            return row.usage.processCount > 0 ? QStringLiteral("Running") : QStringLiteral("Not Running");
        case AppRow::Column::architecture: return qstr(row.info.architectureLabel());
        }
        return {};
    case Qt::DecorationRole:
        if (column == AppRow::Column::application)
            return QVariant::fromValue(ApplicationIcon::of(row.info, textColor(TextEmphasis::secondary)));
        if (column == AppRow::Column::status && row.usage.processCount > 0)
            return QVariant::fromValue(SymbolIcons::icon("circle.fill", NamedColor::green));
        return {};
    case Qt::ToolTipRole:
        return column == AppRow::Column::application ? qstr(row.info.path) : QVariant();
    case Qt::TextAlignmentRole:
        switch (column) {
        case AppRow::Column::size:
        case AppRow::Column::memory:
        case AppRow::Column::cpu: return int(Qt::AlignRight | Qt::AlignVCenter);
        default: return int(Qt::AlignLeft | Qt::AlignVCenter);
        }
    case Qt::ForegroundRole:
        switch (column) {
        case AppRow::Column::version:
        case AppRow::Column::developer:
        case AppRow::Column::architecture: return QVariant::fromValue(textColor(TextEmphasis::secondary));
        case AppRow::Column::memory:
        case AppRow::Column::cpu:
            return row.usage.processCount <= 0 ? QVariant::fromValue(textColor(TextEmphasis::tertiary)) : QVariant();
        case AppRow::Column::status:
            return row.usage.processCount > 0 ? QVariant() : QVariant::fromValue(textColor(TextEmphasis::secondary));
        default: return {};
        }
    case Qt::FontRole:
        if (column == AppRow::Column::status)
            return QVariant::fromValue(textStyleFont(TextStyle::caption));
        return {};
    default: return {};
    }
}

QVariant ApplicationsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= AppRow::columnCount)
        return {};
    if (role == Qt::DisplayRole)
        return title(static_cast<AppRow::Column>(section));
    return {};
}

void ApplicationsTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= AppRow::columnCount)
        return;
    column_ = static_cast<AppRow::Column>(column);
    ascending_ = order == Qt::AscendingOrder;
    std::vector<AppRow> sorted = rows();
    AppRow::sort(sorted, column_, ascending_);
    replaceRows(std::move(sorted));
}
