#pragma once

#include "index/ProcessRecords.h"

#include <QAbstractTableModel>

#include <QIcon>

#include <functional>
#include <vector>

// The rows of the process table, kept in the user's sort order; absent figures
// sort below every measured one.
class ProcessTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { process, pid, cpu, memory, threads, state, user, columnCount_ };

    explicit ProcessTableModel(QObject* parent = nullptr);

    void setProcesses(std::vector<ProcessSnapshot> processes);
    // The icon of each process; without one every row shows the terminal symbol.
    void setIconSource(std::function<QIcon(const ProcessSnapshot&)> source) { iconSource_ = std::move(source); }
    const ProcessSnapshot& processAt(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
    int rowOf(std::int32_t pid) const;

    int rowCount(const QModelIndex& parent = {}) const override;
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
    std::vector<ProcessSnapshot> rows_;
    std::function<QIcon(const ProcessSnapshot&)> iconSource_;
    int sortColumn_ = cpu;
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
};
