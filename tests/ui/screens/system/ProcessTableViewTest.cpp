#include "ui/screens/system/ProcessTableView.h"
#include "ui/screens/system/ProcessTableModel.h"

#include "analysis/ByteFormatter.h"
#include "ui/support/UiTestSupport.h"
#include "ui/screens/system/ProcessTestSupport.h"

#include <QAbstractItemModelTester>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

ProcessSnapshot process(std::int32_t pid, std::string name, std::optional<double> cpu = std::nullopt,
                        std::optional<std::int64_t> memory = std::nullopt, std::uint64_t startTicks = 100)
{
    ProcessSnapshot snapshot;
    snapshot.pid = pid;
    snapshot.startTicks = startTicks;
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

TEST(ProcessTableView, MenuActsOnTheSelectionWhenOpenedInItElseSelectsTheRowAlone)
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
    EXPECT_EQ(table.selectedPids(), (std::set<std::int32_t>{10, 20, 30}));
    // A row outside it becomes the selection before its menu opens: what the menu acts on is what shows.
    delete table.menuForRow(table.tableModel().rowOf(40));
    EXPECT_EQ(targets, std::vector<std::int32_t>{40});
    EXPECT_EQ(table.selectedPids(), std::set<std::int32_t>{40});
    table.setSelectedPids({10, 20, 30});

    // A process that ended leaves the selection; the others stay selected.
    table.setProcesses({process(30, "c", 3.0), process(10, "a", 1.0)});
    EXPECT_EQ(table.selectedPids(), (std::set<std::int32_t>{10, 30}));
    delete table.menuForRow(table.tableModel().rowOf(30));
    EXPECT_EQ(targets, (std::vector<std::int32_t>{30, 10}));
    // A clicked pid no longer listed opens no menu.
    EXPECT_TRUE(ProcessTableView::menuTargets(99, {}, {process(10, "a")}).empty());
    EXPECT_TRUE(ProcessTableView::menuTargets(99, {10, 99}, {process(10, "a")}).empty());
}

std::vector<std::int32_t> order(const ProcessTableModel& model)
{
    std::vector<std::int32_t> result;
    for (int row = 0; row < model.rowCount(); ++row)
        result.push_back(model.processAt(row).pid);
    return result;
}

// Samples of five processes, busiest first: the order changes, one ends, one
// starts, and pid 30 passes to a new program.
std::vector<std::vector<ProcessSnapshot>> reorderingSamples()
{
    return {
        {process(10, "a", 5.0), process(20, "b", 4.0), process(30, "c", 3.0), process(40, "d", 2.0), process(50, "e", 1.0)},
        {process(10, "a", 1.0), process(20, "b", 4.0), process(30, "c", 6.0), process(40, "d", 2.0), process(50, "e", 7.0)},
        {process(20, "b", 4.0), process(30, "c", 0.5), process(40, "d", 9.0), process(50, "e", 7.0), process(60, "f", 3.0)},
        {process(20, "b", 8.0), process(30, "c2", 2.0, 1, 900), process(40, "d", 9.0), process(50, "e", 1.0),
         process(60, "f", 3.0)},
    };
}

TEST(ProcessTableModel, SamplesUpdateRowsInPlaceKeyedByPidAndStartTime)
{
    ensureApplication();
    ProcessTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    const auto samples = reorderingSamples();
    model.setProcesses(samples[0]);
    const QPersistentModelIndex b(model.index(model.rowOf(20), 0));
    const QPersistentModelIndex c(model.index(model.rowOf(30), 0));
    const QPersistentModelIndex a(model.index(model.rowOf(10), 0));
    const std::vector<std::vector<std::int32_t>> expected = {
        {10, 20, 30, 40, 50}, {50, 30, 20, 40, 10}, {40, 50, 20, 60, 30}, {40, 20, 60, 30, 50}};
    for (std::size_t i = 0; i < samples.size(); ++i) {
        model.setProcesses(samples[i]);
        EXPECT_EQ(order(model), expected[i]) << i;
        ASSERT_TRUE(b.isValid()) << i;
        EXPECT_EQ(model.processAt(b.row()).pid, 20) << i;
        EXPECT_EQ(a.isValid(), i < 2) << i; // pid 10 ended with the third sample
    }
    // The program now at pid 30 is another row: the old one's index is gone.
    EXPECT_FALSE(c.isValid());
    model.sort(ProcessTableModel::process, Qt::AscendingOrder);
    EXPECT_EQ(order(model), (std::vector<std::int32_t>{20, 30, 40, 50, 60}));
    EXPECT_EQ(model.processAt(b.row()).pid, 20);
    model.setProcesses({});
    EXPECT_EQ(resets.count(), 0);
}

TEST(ProcessTableView, TheKeyboardMovesOnFromTheSelectedProcessAfterSamples)
{
    ensureApplication();
    ProcessTableView table;
    table.resize(700, 300);
    table.show();
    const auto samples = reorderingSamples();
    table.setProcesses(samples[0]);
    const int row = table.tableModel().rowOf(20);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualRect(table.model()->index(row, 0)).center());
    ASSERT_EQ(table.selectedPids(), std::set<std::int32_t>{20});
    for (std::size_t i = 1; i < samples.size(); ++i) {
        table.setProcesses(samples[i]);
        EXPECT_EQ(table.selectedPids(), std::set<std::int32_t>{20}) << i;
        EXPECT_EQ(table.tableModel().processAt(table.currentIndex().row()).pid, 20) << i;
    }
    // Busiest first the rows read 40, 20, 60, 30, 50: below 20 comes 60.
    QTest::keyClick(&table, Qt::Key_Down);
    EXPECT_EQ(table.selectedPids(), std::set<std::int32_t>{60});
    QTest::keyClick(&table, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(table.selectedPids(), (std::set<std::int32_t>{60, 30}));
    // Ctrl+click takes a row out of the selection.
    QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      table.visualRect(table.model()->index(table.tableModel().rowOf(30), 0)).center());
    EXPECT_EQ(table.selectedPids(), std::set<std::int32_t>{60});
    saveScreenshot(table, QStringLiteral("ProcessTableView"));
}

} // namespace
