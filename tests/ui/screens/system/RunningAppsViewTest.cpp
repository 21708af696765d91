#include "ui/screens/system/RunningAppsView.h"

#include "support/AppTestSupport.h"
#include "app/ProcessMonitor.h"
#include "app/SystemMonitorStore.h"
#include "platform/ProcessSignaller.h"
#include "support/ChildProcess.h"
#include "ui/components/RecordingModel.h"
#include "ui/screens/system/ProcessTableView.h"
#include "ui/screens/system/ProcessTableModel.h"
#include "ui/screens/system/ProcessTestSupport.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using Scope = RunningAppsView::Scope;

ProcessSnapshot process(std::int32_t pid, std::string name, std::optional<std::uint32_t> uid,
                        std::optional<std::string> session = std::nullopt)
{
    ProcessSnapshot snapshot;
    snapshot.pid = pid;
    snapshot.name = std::move(name);
    snapshot.ownerUID = uid;
    snapshot.sessionAppID = std::move(session);
    return snapshot;
}

QAbstractButton* button(QMessageBox& box, const QString& text)
{
    for (QAbstractButton* candidate : box.buttons())
        if (candidate->text() == text) return candidate;
    return nullptr;
}

// The view, its monitor's processes filled by real samples, narrowed to the child (and to
// whatever else has its pid in its name or pid).
struct ChildOnScreen {
    explicit ChildOnScreen(RecordingModel& fixture, const ChildProcess& child) : view(*fixture.model), pid(child.pid())
    {
        view.setScope(Scope::all);
        view.setFilter(QString::number(pid));
        EXPECT_TRUE(waitUntil([&] { return view.table().tableModel().rowOf(pid) >= 0; }));
    }
    ProcessSnapshot shown() const { return view.table().tableModel().processAt(view.table().tableModel().rowOf(pid)); }
    RunningAppsView view;
    pid_t pid;
};

TEST(RunningAppsView, ScopeAndFilterKeepTheSamplersOrder)
{
    const std::vector<ProcessSnapshot> processes = {
        process(123, "Safari", 1000, "org.example.Safari"), process(7, "worker123", 1000),
        process(900, "Safari", 0, "org.example.Safari"),     process(901, "Safari", std::nullopt, "org.example.Safari"),
        process(55, "bash", 1000),
    };
    struct Case {
        Scope scope;
        QString filter;
        std::vector<std::int32_t> expected;
    } cases[] = {
        {Scope::apps, "", {123}},
        {Scope::mine, "", {123, 7, 55}},
        {Scope::all, "", {123, 7, 900, 901, 55}},
        {Scope::all, "safari", {123, 900, 901}},
        {Scope::all, "123", {123, 7}},
        {Scope::all, " 55", {}},
        {Scope::all, "55", {55}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pids(RunningAppsView::visible(processes, c.scope, c.filter, 1000, {})), c.expected)
            << RunningAppsView::title(c.scope).toStdString() << " '" << c.filter.toStdString() << "'";
}

TEST(RunningAppsView, ToolbarActsOnTheFirstSelectedInSamplersOrderAndDialogsNameTheProcess)
{
    const std::vector<ProcessSnapshot> visible = {process(3, "c", 1), process(1, "a", 1), process(2, "b", 1)};
    EXPECT_EQ(RunningAppsView::selectedProcess(visible, {1, 2})->pid, 1);
    EXPECT_EQ(RunningAppsView::selectedProcess(visible, {9}), nullptr);

    const auto mail = process(812, "Mail", 1);
    EXPECT_EQ(RunningAppsView::dialogTitle(mail, false), "Quit “Mail”?");
    EXPECT_EQ(RunningAppsView::dialogTitle(mail, true), "Force quit “Mail” (PID 812)?");
}

TEST(RunningAppsView, QuitAndForceQuitEndARealChildAfterConfirmation)
{
    RecordingModel fixture;
    for (const bool force : {false, true}) {
        ChildProcess child("/usr/bin/sleep");
        ChildOnScreen screen(fixture, child);
        screen.view.requestQuit({screen.shown()}, force);
        QMessageBox* box = screen.view.confirmation();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), RunningAppsView::dialogTitle(screen.shown(), force));
        // sleep has no window to ask, so a plain quit promises no save prompt.
        EXPECT_EQ(box->informativeText(),
                  force ? "The process stops immediately. Unsaved work will be lost."
                        : "The app is asked to stop and may not offer to save. Unsaved work may be lost.");
        QAbstractButton* act = button(*box, force ? "Force Quit" : "Quit");
        ASSERT_NE(act, nullptr);
        ASSERT_NE(button(*box, "Cancel"), nullptr);
        act->click();
        EXPECT_EQ(child.endingSignal(), force ? SIGKILL : SIGTERM);
        EXPECT_EQ(screen.view.errorAlert(), nullptr);
    }
}

TEST(RunningAppsView, QuitFailuresAreReportedInTheAlert)
{
    RecordingModel fixture;
    ChildProcess child("/usr/bin/sleep");
    ChildOnScreen screen(fixture, child);
    auto replaced = screen.shown();
    ASSERT_TRUE(replaced.startTicks);
    replaced.startTicks = *replaced.startTicks + 100;
    auto self = screen.shown();
    self.pid = ::getpid();

    struct Case {
        ProcessSnapshot named;
        std::string message;
    } cases[] = {
        {replaced, ProcessSignaller::replacedText},
        {ProcessMonitor().basicInfo(::getpid()).value_or(self), "This is Kestrelmoor itself. Use Kestrelmoor ▸ Quit instead."},
    };
    for (const auto& c : cases) {
        for (const bool force : {false, true}) {
            screen.view.terminate({c.named}, force);
            QMessageBox* alert = screen.view.errorAlert();
            ASSERT_NE(alert, nullptr);
            EXPECT_EQ(alert->text(), "Couldn't quit the process");
            EXPECT_EQ(alert->informativeText().toStdString(), c.message);
            ASSERT_NE(button(*alert, "OK"), nullptr);
        }
    }
    EXPECT_TRUE(child.isRunning());

    const auto shown = screen.shown();
    ::kill(child.pid(), SIGKILL);
    child.reap();
    screen.view.terminate({shown}, false);
    ASSERT_NE(screen.view.errorAlert(), nullptr);
    EXPECT_EQ(screen.view.errorAlert()->informativeText(), ProcessSignaller::endedText);
}

TEST(RunningAppsView, ContextMenuActsOnTheSelectionItOpensInElseOnTheRowAlone)
{
    RecordingModel fixture;
    ChildProcess first("/usr/bin/sleep");
    ChildProcess second("/usr/bin/sleep");
    ChildProcess outside("/usr/bin/sleep");
    RunningAppsView view(*fixture.model);
    view.setScope(Scope::all);
    view.setFilter("sleep");
    const auto rowOf = [&](pid_t pid) { return view.table().tableModel().rowOf(pid); };
    ASSERT_TRUE(waitUntil([&] { return rowOf(first.pid()) >= 0 && rowOf(second.pid()) >= 0 && rowOf(outside.pid()) >= 0; }));
    view.table().setSelectedPids({first.pid(), second.pid()});
    const auto texts = [](QMenu& menu) {
        QStringList all;
        for (QAction* action : menu.actions()) all << action->text();
        return all;
    };
    const auto item = [](QMenu& menu, const QString& text) {
        for (QAction* action : menu.actions())
            if (action->text() == text) return action;
        return static_cast<QAction*>(nullptr);
    };

    // A row outside the selection: that process alone, the selection untouched.
    std::unique_ptr<QMenu> menu(view.table().menuForRow(rowOf(outside.pid())));
    ASSERT_TRUE(menu);
    EXPECT_EQ(texts(*menu), (QStringList{"Reveal in Finder", "Copy Path", "", "Quit…", "Force Quit…"}));
    item(*menu, "Quit…")->trigger();
    ASSERT_NE(view.confirmation(), nullptr);
    EXPECT_EQ(view.confirmation()->text(), QStringLiteral("Quit “sleep”?"));
    button(*view.confirmation(), "Quit")->click();
    EXPECT_EQ(outside.endingSignal(), SIGTERM);
    EXPECT_TRUE(first.isRunning());
    EXPECT_TRUE(second.isRunning());
    EXPECT_EQ(view.table().selectedPids(), (std::set<std::int32_t>{first.pid(), second.pid()}));

    // A row inside it: both selected processes, one shared path copied once.
    menu.reset(view.table().menuForRow(rowOf(second.pid())));
    ASSERT_TRUE(menu);
    EXPECT_EQ(texts(*menu), (QStringList{"Reveal in Finder", "Copy Path", "", "Quit…", "Force Quit…"}));
    item(*menu, "Copy Path")->trigger();
    EXPECT_EQ(fixture.desktop->copied, std::vector<std::string>{"/usr/bin/sleep"});
    item(*menu, "Force Quit…")->trigger();
    ASSERT_NE(view.confirmation(), nullptr);
    EXPECT_EQ(view.confirmation()->text(), "Force quit 2 processes?");
    EXPECT_TRUE(view.confirmation()->informativeText().contains(QStringLiteral("“sleep” (PID %1)").arg(first.pid())));
    EXPECT_TRUE(view.confirmation()->informativeText().contains(QStringLiteral("“sleep” (PID %1)").arg(second.pid())));
    button(*view.confirmation(), "Force Quit")->click();
    EXPECT_EQ(first.endingSignal(), SIGKILL);
    EXPECT_EQ(second.endingSignal(), SIGKILL);
    EXPECT_EQ(view.errorAlert(), nullptr);
}

TEST(RunningAppsView, ARefusedProcessIsExplainedAloneAndLeftOutAmongOthers)
{
    RecordingModel fixture;
    ChildProcess child("/usr/bin/sleep");
    RunningAppsView view(*fixture.model);
    view.setScope(Scope::all);
    const QString self = QString::number(::getpid());
    view.setFilter(self);
    ASSERT_TRUE(waitUntil([&] { return view.table().tableModel().rowOf(::getpid()) >= 0; }));
    std::unique_ptr<QMenu> menu(view.table().menuForRow(view.table().tableModel().rowOf(::getpid())));
    ASSERT_TRUE(menu);
    auto actions = menu->actions();
    ASSERT_GE(actions.size(), 3);
    EXPECT_EQ(actions.last()->text(), "This is Kestrelmoor itself. Use Kestrelmoor ▸ Quit instead.");
    EXPECT_FALSE(actions[actions.size() - 2]->isEnabled());
    EXPECT_FALSE(actions[actions.size() - 3]->isEnabled());

    // Selected together with a child, the child can still be quit; the refusal is named.
    view.setFilter("");
    ASSERT_TRUE(waitUntil([&] { return view.table().tableModel().rowOf(child.pid()) >= 0; }));
    view.table().setSelectedPids({::getpid(), child.pid()});
    menu.reset(view.table().menuForRow(view.table().tableModel().rowOf(::getpid())));
    ASSERT_TRUE(menu);
    actions = menu->actions();
    EXPECT_EQ(actions.last()->text(), "This is Kestrelmoor itself. Use Kestrelmoor ▸ Quit instead.");
    QAction* quit = actions[actions.size() - 3];
    ASSERT_EQ(quit->text(), "Quit…");
    ASSERT_TRUE(quit->isEnabled());
    quit->trigger();
    ASSERT_NE(view.confirmation(), nullptr);
    EXPECT_EQ(view.confirmation()->text(), QStringLiteral("Quit “sleep”?"));
    button(*view.confirmation(), "Quit")->click();
    EXPECT_EQ(child.endingSignal(), SIGTERM);
}

TEST(RunningAppsView, SamplesProcessesOnlyWhileItExistsAndCountsItsRows)
{
    RecordingModel fixture;
    SystemMonitorStore& monitor = fixture.model->monitor();
    EXPECT_FALSE(monitor.isSampling());
    {
        ChildProcess child("/usr/bin/sleep");
        RunningAppsView view(*fixture.model);
        EXPECT_TRUE(monitor.isSampling());
        view.setScope(Scope::mine);
        ASSERT_TRUE(waitUntil([&] { return view.table().model()->rowCount() > 0; }));
        view.resize(900, 520);
        view.table().setSelectedPids({child.pid()});
        ASSERT_TRUE(waitUntil([&] { return monitor.lastProcessSample().has_value(); }));
        saveScreenshot(view, "RunningAppsView");
    }
    EXPECT_FALSE(monitor.isSampling());
}

} // namespace
