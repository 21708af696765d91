#include "ui/screens/system/ProcessTableView.h"

#include "ui/screens/system/ProcessTableModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>

#include <algorithm>

ProcessTableView::ProcessTableView(QWidget* parent) : QTableView(parent), model_(new ProcessTableModel(this))
{
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(true);
    horizontalHeader()->setSortIndicator(ProcessTableModel::cpu, Qt::DescendingOrder);
    verticalHeader()->hide();
    setShowGrid(false);
    setAlternatingRowColors(true);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    static const int widths[] = {220, 60, 70, 90, 60, 80, 90};
    for (int column = 0; column < ProcessTableModel::columnCount_; ++column) setColumnWidth(column, widths[column]);
    horizontalHeader()->setStretchLastSection(true);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (restoring_) return;
        // Pids selected but not listed stay selected, so they come back when listed again.
        for (const auto& process : processes_) selection_.erase(process.pid);
        for (const QModelIndex& index : selectionModel()->selectedRows())
            selection_.insert(model_->processAt(index.row()).pid);
        emit selectionChangedByUser();
    });
    // A reset clears the view's selection; the pids are put back after it.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { restoring_ = true; });
    connect(model_, &QAbstractItemModel::modelReset, this, &ProcessTableView::restoreSelection);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        const QModelIndex index = indexAt(point);
        if (!index.isValid()) return;
        if (QMenu* menu = menuForRow(index.row())) menu->popup(viewport()->mapToGlobal(point));
    });
}

void ProcessTableView::setProcesses(std::vector<ProcessSnapshot> processes)
{
    processes_ = processes;
    model_->setProcesses(std::move(processes));
}

void ProcessTableView::setSelectedPids(std::set<std::int32_t> pids)
{
    selection_ = std::move(pids);
    restoreSelection();
    emit selectionChangedByUser();
}

void ProcessTableView::restoreSelection()
{
    restoring_ = true;
    QItemSelection rows;
    for (int row = 0; row < model_->rowCount(); ++row)
        if (selection_.count(model_->processAt(row).pid))
            rows.select(model_->index(row, 0), model_->index(row, ProcessTableModel::columnCount_ - 1));
    selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    restoring_ = false;
}

std::vector<ProcessSnapshot> ProcessTableView::menuTargets(std::int32_t clickedPid, const std::set<std::int32_t>& selection,
                                                           const std::vector<ProcessSnapshot>& processes)
{
    const bool inSelection = selection.count(clickedPid) > 0;
    std::vector<ProcessSnapshot> targets;
    for (const auto& process : processes) {
        if (process.pid == clickedPid && !inSelection) return {process};
        if (inSelection && selection.count(process.pid)) targets.push_back(process);
    }
    // The clicked row's process must itself still be listed.
    const auto clicked = std::find_if(targets.begin(), targets.end(),
                                      [&](const ProcessSnapshot& process) { return process.pid == clickedPid; });
    return clicked == targets.end() ? std::vector<ProcessSnapshot>{} : targets;
}

QMenu* ProcessTableView::menuForRow(int row)
{
    if (row < 0 || row >= model_->rowCount() || !menuBuilder_) return nullptr;
    const std::vector<ProcessSnapshot> targets = menuTargets(model_->processAt(row).pid, selection_, processes_);
    if (targets.empty()) return nullptr;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menuBuilder_(*menu, targets);
    return menu;
}
