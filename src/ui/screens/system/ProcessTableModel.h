#pragma once

#include "index/ProcessRecords.h"
#include "ui/components/KeyedTableModel.h"

#include <QIcon>

#include <cstdint>
#include <functional>
#include <vector>

// What names a row for good: a pid comes back for another program, a pid with its
// start time does not.
struct ProcessRowKey {
    std::int32_t pid = 0;
    std::uint64_t startTicks = 0; // 0 when the sampler could not read it

    static ProcessRowKey of(const ProcessSnapshot& process) { return {process.pid, process.startTicks.value_or(0)}; }
    friend bool operator==(const ProcessRowKey&, const ProcessRowKey&) = default;
};

struct ProcessRowKeyHash {
    std::size_t operator()(const ProcessRowKey& key) const noexcept
    {
        return std::hash<std::uint64_t>()(key.startTicks * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint32_t>(key.pid));
    }
};

// The rows of the process table, kept in the user's sort order; absent figures
// sort below every measured one. Each sample updates the rows in place, so the
// view's selection and current row stay with their processes.
class ProcessTableModel : public KeyedTableModel<ProcessSnapshot, ProcessRowKey, ProcessRowKeyHash> {
    Q_OBJECT

public:
    enum Column { process, pid, cpu, memory, threads, state, user, columnCount_ };

    explicit ProcessTableModel(QObject* parent = nullptr);

    void setProcesses(std::vector<ProcessSnapshot> processes);
    // The icon of each process; without one every row shows the terminal symbol.
    void setIconSource(std::function<QIcon(const ProcessSnapshot&)> source) { iconSource_ = std::move(source); }
    const ProcessSnapshot& processAt(int row) const { return rowAt(row); }
    // The row of the first process with the pid, or -1.
    int rowOf(std::int32_t pid) const;

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // Stable, with texts compared byte by byte.
    static std::vector<ProcessSnapshot> sorted(std::vector<ProcessSnapshot> processes, int column, Qt::SortOrder order);
    static std::string userSortKey(const ProcessSnapshot& process);
    static std::string stateText(ProcessState state);
    // The outermost application folder for a path inside one, else the path itself.
    static std::string revealPath(const std::string& executablePath);
    static QString cpuText(double percent);

    static QString restrictedText();
    static QString restrictedHelp();

private:
    std::function<QIcon(const ProcessSnapshot&)> iconSource_;
    int sortColumn_ = cpu;
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
};
