#include "ui/screens/system/ProcessTableView.h"

#include "ui/components/RowSelection.h"
#include "ui/screens/system/ColumnWidths.h"
#include "ui/screens/system/ProcessTableModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>

#include <algorithm>

namespace {

// The process name takes the spare width.
const std::vector<ColumnWidths::Column> columns = {
    {160, 220}, {50, 60}, {60, 70}, {70, 90}, {50, 60}, {60, 80}, {60, 90},
};

} // namespace

ProcessTableView::ProcessTableView(QWidget* parent) : QTableView(parent), model_(new ProcessTableModel(this))
{
    setModel(model_);
    setUpRowTable(*this, QAbstractItemView::ExtendedSelection);
    setSortingEnabled(true);
    horizontalHeader()->setSortIndicator(ProcessTableModel::cpu, Qt::DescendingOrder);
    widths_ = std::make_unique<ColumnWidths>(*this, columns, ProcessTableModel::process);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ProcessTableView::selectedProcessesChanged);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        const QModelIndex index = indexAt(point);
        if (!index.isValid()) return;
        if (QMenu* menu = menuForRow(index.row())) menu->popup(viewport()->mapToGlobal(point));
    });
}

ProcessTableView::~ProcessTableView() = default;

void ProcessTableView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    widths_->fit();
}

void ProcessTableView::setProcesses(std::vector<ProcessSnapshot> processes)
{
    processes_ = processes;
    model_->setProcesses(std::move(processes));
}

std::set<std::int32_t> ProcessTableView::selectedPids() const
{
    std::set<std::int32_t> pids;
    for (const QModelIndex& index : selectionModel()->selectedRows()) pids.insert(model_->processAt(index.row()).pid);
    return pids;
}

void ProcessTableView::setSelectedPids(const std::set<std::int32_t>& pids)
{
    QItemSelection rows;
    QModelIndex first;
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (!pids.count(model_->processAt(row).pid)) continue;
        rows.select(model_->index(row, 0), model_->index(row, ProcessTableModel::columnCount_ - 1));
        if (!first.isValid()) first = model_->index(row, 0);
    }
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
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
    selectForContextMenu(*this, model_->index(row, 0));
    const std::vector<ProcessSnapshot> targets = menuTargets(model_->processAt(row).pid, selectedPids(), processes_);
    if (targets.empty()) return nullptr;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setToolTipsVisible(true);
    menuBuilder_(*menu, targets);
    return menu;
}
