#include "ui/screens/system/TopProcessesList.h"

#include "ui/UiTestSupport.h"
#include "ui/components/ElidedLabel.h"
#include "ui/screens/system/ProcessTestSupport.h"

#include <QLabel>

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
    EXPECT_TRUE(list.findChildren<QWidget*>(QStringLiteral("processRow")).empty());
}

TEST(TopProcessesListTest, ALongNameStaysOnOneLineAndTheValueStaysWhole)
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
    const auto names = list.findChildren<ElidedLabel*>(QStringLiteral("processName"));
    ASSERT_EQ(names.size(), 2);
    EXPECT_TRUE(names[0]->shownText().endsWith(QChar(0x2026)));
    EXPECT_LE(names[0]->height(), names[0]->fontMetrics().height() + 4);
    const auto values = list.findChildren<QLabel*>(QStringLiteral("processValue"));
    ASSERT_EQ(values.size(), 2);
    EXPECT_EQ(values[0]->text(), "112.4%");
    EXPECT_EQ(values[1]->text(), "Restricted");
    EXPECT_LE(values[0]->geometry().right(), list.width());
    EXPECT_GE(values[0]->width(), values[0]->fontMetrics().horizontalAdvance(values[0]->text()));
}

} // namespace
