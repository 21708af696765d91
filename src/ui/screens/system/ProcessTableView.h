#pragma once

#include "index/ProcessRecords.h"

#include <QTableView>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

class DesktopServices;
class ProcessTableModel;

// The sortable, multi-selection table of sampled processes. It quits nothing
// itself: its menu hands quit requests to the owner.
class ProcessTableView : public QTableView {
    Q_OBJECT

public:
    using QuitHandler = std::function<void(const ProcessSnapshot&, bool force)>;
    // Fills the menu of the processes it acts on; the owner knows the desktop and the applications.
    using MenuBuilder = std::function<void(QMenu&, const std::vector<ProcessSnapshot>&)>;

    explicit ProcessTableView(QWidget* parent = nullptr);

    void setProcesses(std::vector<ProcessSnapshot> processes);
    const std::set<std::int32_t>& selectedPids() const { return selection_; }
    void setSelectedPids(std::set<std::int32_t> pids);
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
    void selectionChangedByUser();

private:
    void restoreSelection();

    ProcessTableModel* model_;
    std::vector<ProcessSnapshot> processes_;
    std::set<std::int32_t> selection_;
    MenuBuilder menuBuilder_;
    bool restoring_ = false;
};
