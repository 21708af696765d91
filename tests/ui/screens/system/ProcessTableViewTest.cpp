#include "ui/screens/system/ProcessTableView.h"
#include "ui/screens/system/ProcessTableModel.h"

#include "analysis/ByteFormatter.h"
#include "ui/UiTestSupport.h"
#include "ui/screens/system/ProcessTestSupport.h"

#include <QMenu>

#include <gtest/gtest.h>

#include <optional>

namespace {

ProcessSnapshot process(std::int32_t pid, std::string name, std::optional<double> cpu = std::nullopt,
                        std::optional<std::int64_t> memory = std::nullopt)
{
    ProcessSnapshot snapshot;
    snapshot.pid = pid;
    snapshot.name = std::move(name);
    snapshot.cpuPercent = cpu;
    snapshot.memoryBytes = memory;
    return snapshot;
}

TEST(ProcessTableModel, AbsentFiguresSortBelowMeasuredOnesAndTextsCompareExactly)
{
    auto idle = process(4, "idle");
    idle.state = ProcessState::idle;
    auto sleeping = process(5, "Zed");
    sleeping.state = ProcessState::sleeping;
    sleeping.ownerName = "root";
    auto stopped = process(6, "alpha");
    stopped.state = ProcessState::stopped;
    stopped.ownerName = "Zoe";
    auto threaded = process(7, "Beta", 0.0, 10);
    threaded.threadCount = 0;

    struct Case {
        std::vector<ProcessSnapshot> rows;
        int column;
        Qt::SortOrder order;
        std::vector<std::int32_t> expected;
    } cases[] = {
        {{process(1, "a"), process(2, "b", 0.0), process(3, "c", 250.0)}, ProcessTableModel::cpu, Qt::DescendingOrder, {3, 2, 1}},
        {{process(1, "a"), process(2, "b", 1.0, 0), process(3, "c", 1.0, 5)}, ProcessTableModel::memory, Qt::DescendingOrder, {3, 2, 1}},
        {{process(1, "a"), threaded}, ProcessTableModel::threads, Qt::DescendingOrder, {7, 1}},
        {{stopped, idle, sleeping}, ProcessTableModel::state, Qt::AscendingOrder, {5, 4, 6}},
        {{process(1, "nobody-known"), sleeping, stopped}, ProcessTableModel::user, Qt::AscendingOrder, {6, 5, 1}},
        {{stopped, threaded, sleeping}, ProcessTableModel::process, Qt::AscendingOrder, {7, 5, 6}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pids(ProcessTableModel::sorted(c.rows, c.column, c.order)), c.expected) << c.column;
}

TEST(ProcessTableModel, RevealPathIsTheOutermostApplicationFolder)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/Applications/Outer.app/Contents/Frameworks/Inner.app/Contents/MacOS/Inner", "/Applications/Outer.app"},
        {"/opt/Tool.app", "/opt/Tool.app"},
        {"/usr/bin/sleep", "/usr/bin/sleep"},
        {"/opt/Tool.APP/bin/tool", "/opt/Tool.APP/bin/tool"},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(ProcessTableModel::revealPath(path), expected) << path;
}

TEST(ProcessTableModel, UnreadableUsageIsMarkedNeverZero)
{
    ensureApplication();
    ProcessTableModel model;
    auto both = process(1, "both");
    auto cpuOnly = process(2, "cpuOnly", std::nullopt, 4'096'000);
    auto busy = process(3, "busy", 250.04, 1000);
    model.setProcesses({both, cpuOnly, busy});
    const auto cell = [&](std::int32_t pid, int column, int role = Qt::DisplayRole) {
        return model.data(model.index(model.rowOf(pid), column), role).toString();
    };
    EXPECT_EQ(cell(1, ProcessTableModel::cpu), "Restricted");
    EXPECT_EQ(cell(1, ProcessTableModel::memory), "Restricted");
    EXPECT_EQ(cell(1, ProcessTableModel::memory, Qt::ToolTipRole), ProcessTableModel::restrictedHelp());
    EXPECT_EQ(cell(2, ProcessTableModel::cpu), "—");
    EXPECT_EQ(cell(2, ProcessTableModel::cpu, Qt::ToolTipRole), ProcessTableModel::restrictedHelp());
    EXPECT_EQ(cell(2, ProcessTableModel::memory), QString::fromStdString(ByteFormatter::string(4'096'000)));
    EXPECT_EQ(cell(3, ProcessTableModel::cpu), "250.0");
    EXPECT_EQ(cell(1, ProcessTableModel::threads), "—");
    EXPECT_EQ(cell(1, ProcessTableModel::user), "—");
    EXPECT_EQ(cell(1, ProcessTableModel::process, Qt::ToolTipRole), "Path unavailable");
}

TEST(ProcessTableView, MenuActsOnTheSelectionWhenOpenedInItElseOnTheRowAlone)
{
    ensureApplication();
    ProcessTableView table;
    std::vector<std::int32_t> targets;
    table.setMenuBuilder([&](QMenu&, const std::vector<ProcessSnapshot>& chosen) {
        targets.clear();
        for (const auto& p : chosen) targets.push_back(p.pid);
    });
    table.setProcesses({process(10, "a", 1.0), process(20, "b", 2.0), process(30, "c", 3.0), process(40, "d", 4.0)});
    table.setSelectedPids({10, 20, 30});
    // Any selected row: all three, in the sampler's order whatever the table's sort.
    for (const std::int32_t clicked : {10, 20, 30}) {
        delete table.menuForRow(table.tableModel().rowOf(clicked));
        EXPECT_EQ(targets, (std::vector<std::int32_t>{10, 20, 30})) << clicked;
    }
    delete table.menuForRow(table.tableModel().rowOf(40));
    EXPECT_EQ(targets, std::vector<std::int32_t>{40});
    EXPECT_EQ(table.selectedPids(), (std::set<std::int32_t>{10, 20, 30}));

    // A sample that drops the selected pids keeps them selected for their return.
    table.setProcesses({process(30, "c", 3.0)});
    table.setProcesses({process(10, "a", 1.0), process(30, "c", 3.0)});
    EXPECT_EQ(table.selectedPids(), (std::set<std::int32_t>{10, 20, 30}));
    EXPECT_EQ(table.selectionModel()->selectedRows().size(), 2);
    delete table.menuForRow(table.tableModel().rowOf(30));
    EXPECT_EQ(targets, (std::vector<std::int32_t>{10, 30}));
    // A clicked pid no longer listed opens no menu.
    EXPECT_TRUE(ProcessTableView::menuTargets(99, {}, {process(10, "a")}).empty());
    EXPECT_TRUE(ProcessTableView::menuTargets(99, {10, 99}, {process(10, "a")}).empty());
}

} // namespace
