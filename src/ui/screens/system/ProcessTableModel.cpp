#include "ui/screens/system/ProcessTableModel.h"

#include "analysis/ByteFormatter.h"
#include "ui/components/ApplicationIcon.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <algorithm>

namespace {

template <class Key>
bool before(const Key& a, const Key& b, Qt::SortOrder order)
{
    return order == Qt::AscendingOrder ? a < b : b < a;
}

} // namespace

ProcessTableModel::ProcessTableModel(QObject* parent) : KeyedTableModel(&ProcessRowKey::of, parent)
{
    connect(&ApplicationIcon::announcer(), &ApplicationIcon::found, this, [this] { redrawAll(); });
}

void ProcessTableModel::setProcesses(std::vector<ProcessSnapshot> processes)
{
    replaceRows(sorted(std::move(processes), sortColumn_, sortOrder_));
}

int ProcessTableModel::rowOf(std::int32_t pid) const
{
    const auto& all = rows();
    const auto found = std::find_if(all.begin(), all.end(), [pid](const ProcessSnapshot& row) { return row.pid == pid; });
    return found == all.end() ? -1 : static_cast<int>(found - all.begin());
}

int ProcessTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

std::string ProcessTableModel::userSortKey(const ProcessSnapshot& process)
{
    return process.ownerName.value_or("~");
}

std::string ProcessTableModel::stateText(ProcessState state)
{
    return std::string(rawValue(state));
}

std::string ProcessTableModel::revealPath(const std::string& executablePath)
{
    const auto at = executablePath.find(".app/");
    return at == std::string::npos ? executablePath : executablePath.substr(0, at) + ".app";
}

QString ProcessTableModel::cpuText(double percent)
{
    return QString::asprintf("%.1f", percent);
}

QString ProcessTableModel::restrictedText()
{
    return QStringLiteral("Restricted");
}

QString ProcessTableModel::restrictedHelp()
{
    return QStringLiteral("The system doesn't allow this account to read this process's usage.");
}

std::vector<ProcessSnapshot> ProcessTableModel::sorted(std::vector<ProcessSnapshot> processes, int column,
                                                       Qt::SortOrder order)
{
    std::stable_sort(processes.begin(), processes.end(), [&](const ProcessSnapshot& a, const ProcessSnapshot& b) {
        switch (column) {
        case process: return before(a.name, b.name, order);
        case pid: return before(a.pid, b.pid, order);
        case cpu: return before(a.cpuSortKey(), b.cpuSortKey(), order);
        case memory: return before(a.memorySortKey(), b.memorySortKey(), order);
        case threads: return before(a.threadSortKey(), b.threadSortKey(), order);
        case state: return before(stateText(a.state), stateText(b.state), order);
        default: return before(userSortKey(a), userSortKey(b), order);
        }
    });
    return processes;
}

void ProcessTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount_) return;
    sortColumn_ = column;
    sortOrder_ = order;
    replaceRows(sorted(rows(), column, order));
}

QVariant ProcessTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const ProcessSnapshot& row = processAt(index.row());
    const int column = index.column();
    const bool restrictedCpu = column == cpu && !row.cpuPercent;
    const bool restrictedMemory = column == memory && !row.memoryBytes;
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case process: return QString::fromStdString(row.name);
        case pid: return QString::number(row.pid);
        case cpu:
            if (row.cpuPercent) return cpuText(*row.cpuPercent);
            return row.memoryBytes ? QStringLiteral("—") : restrictedText();
        case memory: return row.memoryBytes ? QString::fromStdString(ByteFormatter::string(*row.memoryBytes)) : restrictedText();
        case threads: return row.threadCount ? QString::number(*row.threadCount) : QStringLiteral("—");
        case state: return QString::fromStdString(stateText(row.state));
        default: return row.ownerName ? QString::fromStdString(*row.ownerName) : QStringLiteral("—");
        }
    case Qt::ToolTipRole:
        if (column == process)
            return row.executablePath ? QString::fromStdString(*row.executablePath) : QStringLiteral("Path unavailable");
        if (restrictedCpu || restrictedMemory) return restrictedHelp();
        return {};
    case Qt::DecorationRole:
        if (column != process) return {};
        if (iconSource_) return iconSource_(row);
        return SymbolIcons::icon("terminal", textColor(TextEmphasis::secondary));
    case Qt::ForegroundRole:
        if (restrictedCpu || restrictedMemory) return textColor(TextEmphasis::tertiary);
        if (column == pid || column == threads || column == state || column == user) return textColor(TextEmphasis::secondary);
        return {};
    case Qt::FontRole:
        if (restrictedCpu || restrictedMemory) return textStyleFont(TextStyle::caption);
        return {};
    case Qt::TextAlignmentRole:
        return int((column == cpu || column == memory || column == threads ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ProcessTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount_) return {};
    static const char* const titles[] = {"Process", "PID", "CPU %", "Memory", "Threads", "State", "User"};
    return QString::fromLatin1(titles[section]);
}
