#pragma once

#include "index/ProcessRecords.h"

#include <QTableView>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

class ColumnWidths;
class ProcessTableModel;

// The sortable, multi-selection table of sampled processes. Its selection model is
// the one selection; each sample updates the rows in place, so the selection and
// the current row stay with their processes. It quits nothing itself: its menu
// hands quit requests to the owner.
class ProcessTableView : public QTableView {
    Q_OBJECT

public:
    // Fills the menu of the processes it acts on; the owner knows the desktop and the applications.
    using MenuBuilder = std::function<void(QMenu&, const std::vector<ProcessSnapshot>&)>;

    explicit ProcessTableView(QWidget* parent = nullptr);
    ~ProcessTableView() override;

    // The rows of one sample, in the sampler's order.
    void setProcesses(std::vector<ProcessSnapshot> processes);
    std::set<std::int32_t> selectedPids() const;
    // Selects the listed processes with these pids, the first of them current.
    void setSelectedPids(const std::set<std::int32_t>& pids);
    void setMenuBuilder(MenuBuilder builder) { menuBuilder_ = std::move(builder); }
    ProcessTableModel& tableModel() const { return *model_; }

    // What a menu opened on the row of `clickedPid` acts on: the whole selection,
    // in the sampler's order, when that row is in it; otherwise that row's process
    // alone; nothing when it left the list.
    static std::vector<ProcessSnapshot> menuTargets(std::int32_t clickedPid, const std::set<std::int32_t>& selection,
                                                    const std::vector<ProcessSnapshot>& processes);

    // The menu for the row at `row`, or none.
    QMenu* menuForRow(int row);

signals:
    void selectedProcessesChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ProcessTableModel* model_;
    std::unique_ptr<ColumnWidths> widths_;
    std::vector<ProcessSnapshot> processes_;
    MenuBuilder menuBuilder_;
};
