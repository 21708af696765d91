#include "ui/screens/system/TopProcessesList.h"

#include "ui/support/UiTestSupport.h"
#include "ui/screens/system/TopProcessesModel.h"
#include "ui/screens/system/ProcessTestSupport.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QListView>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

namespace {

ProcessSnapshot process(std::int32_t pid, std::optional<double> cpu)
{
    ProcessSnapshot p;
    p.pid = pid;
    p.name = "process" + std::to_string(pid);
    p.cpuPercent = cpu;
    return p;
}

TEST(TopProcessesListTest, RanksByKeyKeepingTiesInOrderAndUnreadableLast)
{
    const auto byCPU = [](const ProcessSnapshot& p) { return p.cpuSortKey(); };
    struct Case {
        std::vector<ProcessSnapshot> processes;
        std::vector<std::int32_t> expected;
    };
    std::vector<ProcessSnapshot> many;
    for (int pid = 1; pid <= 12; ++pid) many.push_back(process(pid, pid));
    const Case cases[] = {
        {{}, {}},
        {{process(1, std::nullopt), process(2, 0.0), process(3, 5.0)}, {3, 2, 1}},
        {{process(1, 7.0), process(2, 9.0), process(3, 7.0), process(4, 7.0)}, {2, 1, 3, 4}},
        {{process(1, std::nullopt), process(2, std::nullopt)}, {1, 2}},
        {many, {12, 11, 10, 9, 8, 7, 6, 5, 4, 3}},
    };
    for (const Case& c : cases) EXPECT_EQ(pids(TopProcessesList::top(c.processes, byCPU)), c.expected);
}

TEST(TopProcessesListTest, AnEmptyListSaysItIsCollecting)
{
    ensureApplication();
    TopProcessesList list({}, [](const ProcessSnapshot&) { return QString(); }, [](const ProcessSnapshot&) { return QIcon(); });
    const auto* empty = list.findChild<QLabel*>(QStringLiteral("emptyProcesses"));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->text(), QStringLiteral("Collecting process data…"));
    EXPECT_FALSE(empty->isHidden());
    EXPECT_TRUE(list.view()->isHidden());

    list.setProcesses({process(1, 3.0)});
    EXPECT_TRUE(empty->isHidden());
    EXPECT_FALSE(list.view()->isHidden());
    list.setProcesses({});
    EXPECT_FALSE(empty->isHidden()) << "back to collecting when a sample has none";
}

// A line of 300 pixels with a 16-pixel icon and 6 pixels between parts.
TEST(TopProcessesListTest, TheValueStaysWholeAndTheNameGivesWayFirst)
{
    const QRect line(10, 0, 300, 20);
    struct Case {
        const char* description;
        int name, pid, value;
        QRect nameRect, pidRect, valueRect;
    };
    const Case cases[] = {
        {"everything fits", 100, 50, 60, {32, 0, 100, 20}, {138, 0, 50, 20}, {250, 0, 60, 20}},
        {"a long name is shortened", 400, 50, 60, {32, 0, 156, 20}, {194, 0, 50, 20}, {250, 0, 60, 20}},
        {"a wide value takes the name's room", 100, 50, 240, {32, 0, 0, 20}, {32, 0, 32, 20}, {70, 0, 240, 20}},
        {"no room at all but the value", 100, 50, 290, {32, 0, 0, 20}, {32, 0, 0, 20}, {32, 0, 278, 20}},
    };
    for (const Case& c : cases) {
        const auto geometry = TopProcessesList::lineGeometry(line, c.name, c.pid, c.value);
        EXPECT_EQ(geometry.icon, QRect(10, 2, 16, 16)) << c.description;
        EXPECT_EQ(geometry.name, c.nameRect) << c.description;
        EXPECT_EQ(geometry.pid, c.pidRect) << c.description;
        EXPECT_EQ(geometry.value, c.valueRect) << c.description;
        EXPECT_LE(geometry.value.right(), line.right()) << c.description;
        EXPECT_LE(geometry.pid.right(), geometry.value.left()) << c.description;
    }
}

// New samples move, add and drop lines by process (pid and start time), never by rank.
TEST(TopProcessesListTest, LinesFollowTheirProcessFromSampleToSample)
{
    ensureApplication();
    TopProcessesList list({}, [](const ProcessSnapshot& p) { return QString::number(p.cpuPercent.value_or(-1)); },
                          [](const ProcessSnapshot&) { return QIcon(); });
    QAbstractItemModelTester tester(list.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    int resets = 0;
    QObject::connect(list.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });

    auto started = [](std::int32_t pid, double cpu, std::uint64_t start) {
        auto p = process(pid, cpu);
        p.startTicks = start;
        return p;
    };
    list.setProcesses({started(1, 9, 100), started(2, 5, 100), started(3, 1, 100)});
    const QPersistentModelIndex second = list.model()->index(1, 0);
    EXPECT_EQ(QModelIndex(second).siblingAtColumn(TopProcessesModel::valueColumn).data().toString(), "5");

    list.setProcesses({started(2, 12, 100), started(1, 9, 100), started(4, 2, 100)});
    ASSERT_TRUE(second.isValid());
    EXPECT_EQ(second.row(), 0) << "pid 2 moved up with its line";
    EXPECT_EQ(QModelIndex(second).siblingAtColumn(TopProcessesModel::valueColumn).data().toString(), "12");
    EXPECT_EQ(pids(list.processes()), (std::vector<std::int32_t>{2, 1, 4}));

    // The same pid started anew is another process: its old line goes.
    list.setProcesses({started(2, 12, 900), started(1, 9, 100)});
    EXPECT_FALSE(second.isValid());
    EXPECT_EQ(list.model()->rowOfKey({2, 900}), 0);
    EXPECT_EQ(resets, 0);

    EXPECT_EQ(list.model()->index(0, TopProcessesModel::pidColumn).data().toString(), "PID 2");
    EXPECT_EQ(list.model()->index(0, 0).data().toString(), "process2");
    EXPECT_EQ(list.model()->flags(list.model()->index(0, 0)) & Qt::ItemIsSelectable, Qt::NoItemFlags);
}

TEST(TopProcessesListTest, ALongNameStaysOnOneLine)
{
    ensureApplication();
    auto longName = process(412, 112.4);
    longName.name = std::string(200, 'x');
    TopProcessesList list({longName, process(7, std::nullopt)},
                          [](const ProcessSnapshot& p) { return p.cpuPercent ? QStringLiteral("112.4%") : QStringLiteral("Restricted"); },
                          [](const ProcessSnapshot&) { return QIcon(); });
    list.resize(360, list.sizeHint().height());
    list.show();
    QApplication::processEvents();
    const QListView* view = list.view();
    const int lineHeight = view->visualRect(list.model()->index(0, 0)).height();
    EXPECT_LE(lineHeight, view->fontMetrics().height() + TopProcessesList::rowSpacing + 2);
    EXPECT_EQ(view->height(), 2 * lineHeight) << "every line shows, with no scrolling";
    saveScreenshot(list, QStringLiteral("top-processes-long-name"));
}

} // namespace
