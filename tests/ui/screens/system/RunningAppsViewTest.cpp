#include "ui/screens/system/RunningAppsView.h"

#include "AppFixtures.h"
#include "support/FakeProcessWindows.h"
#include "app/support/AppTestSupport.h"
#include "app/system/ProcessMonitor.h"
#include "app/system/RunningApplications.h"
#include "app/SystemMonitorStore.h"
#include "platform/ProcessSignaller.h"
#include "support/ChildProcess.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"
#include "ui/screens/system/ProcessTableView.h"
#include "ui/screens/system/ProcessTableModel.h"
#include "ui/components/EmptyStateView.h"
#include "ui/screens/system/ProcessTestSupport.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <filesystem>

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

    // For the administrator, kernel threads are the system's, not "My Processes".
    auto kthreadd = process(2, "kthreadd", 0);
    auto worker = process(30, "kworker/0:1", 0);
    worker.parentPID = 2;
    auto shell = process(40, "bash", 0);
    shell.parentPID = 2; // started from a kernel helper, yet a program with an executable
    shell.executablePath = "/usr/bin/bash";
    const std::vector<ProcessSnapshot> asRoot = {process(1, "systemd", 0), kthreadd, worker, shell};
    EXPECT_EQ(pids(RunningAppsView::visible(asRoot, Scope::mine, "", 0, {})), (std::vector<std::int32_t>{1, 40}));
    EXPECT_EQ(pids(RunningAppsView::visible(asRoot, Scope::all, "", 0, {})), (std::vector<std::int32_t>{1, 2, 30, 40}));
}

TEST(RunningAppsView, AnEmptyTableSaysWhy)
{
    struct Case {
        Scope scope;
        QString filter;
        bool sampled;
        QString title;
    } cases[] = {
        {Scope::apps, "", false, QStringLiteral("Reading Processes\u2026")},
        {Scope::apps, "", true, QStringLiteral("No Apps Running")},
        {Scope::mine, "zzz", true, QStringLiteral("No Matches")},
        {Scope::all, "", true, QStringLiteral("No Processes")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunningAppsView::emptyText(c.scope, c.filter, c.sampled).first, c.title) << c.filter.toStdString();
    EXPECT_TRUE(RunningAppsView::emptyText(Scope::apps, "", true).second.contains(QStringLiteral("“My Processes”")));
    EXPECT_TRUE(RunningAppsView::emptyText(Scope::mine, "zzz", true).second.contains(QStringLiteral("“zzz”")));

    // No installed applications and no session scopes: "Apps" lists nothing and says why.
    RecordingModel fixture;
    RunningAppsView view(*fixture.model);
    view.setFilter(QStringLiteral("no such process name"));
    view.setScope(Scope::apps);
    ASSERT_TRUE(waitUntil([&] { return fixture.model->monitor().lastProcessSample().has_value(); }));
    view.setFilter({});
    if (view.table().model()->rowCount() == 0) {
        EXPECT_TRUE(view.emptyState().isVisibleTo(&view));
        EXPECT_EQ(view.emptyState().title(), "No Apps Running");
    }
    view.setFilter(QStringLiteral("no such process name"));
    EXPECT_TRUE(view.emptyState().isVisibleTo(&view));
    EXPECT_EQ(view.emptyState().title(), "No Matches");
    view.resize(720, 420);
    saveScreenshot(view, QStringLiteral("RunningAppsView-empty"));
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
        // Named with its PID, as two processes may share a name; sleep has no window
        // to ask, so a plain quit promises no save prompt.
        EXPECT_EQ(box->informativeText(),
                  QStringLiteral("“sleep” (PID %1)\n\n").arg(child.pid())
                      + (force ? "The process stops immediately. Unsaved work will be lost."
                               : "The app is asked to stop and may not offer to save. Unsaved work may be lost."));
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

    // A hundred failures keep the alert and its button on the screen: every line scrolls in the details.
    std::vector<ProcessSnapshot> many;
    for (int i = 0; i < 100; ++i) many.push_back(process(999'999'000 + i, "gone", 0));
    screen.view.terminate(many, false);
    QMessageBox* alert = screen.view.errorAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->detailedText().count(QLatin1Char('\n')), 99);
    alert->adjustSize();
    EXPECT_LT(alert->sizeHint().height(), 480);
}

TEST(RunningAppsView, ClosingWithItsDialogsOpenTouchesNothingGone)
{
    RecordingModel fixture;
    auto view = std::make_unique<RunningAppsView>(*fixture.model);
    view->show();
    auto gone = process(999'999'999, "gone", 0);
    view->terminate({gone}, false);
    view->requestQuit({gone}, false);
    const QPointer<QMessageBox> alert = view->errorAlert();
    const QPointer<QMessageBox> confirmation = view->confirmation();
    ASSERT_TRUE(alert && confirmation);
    view.reset();
    EXPECT_FALSE(alert);
    EXPECT_FALSE(confirmation);
}

TEST(RunningAppsView, ContextMenuActsOnTheSelectionItOpensInElseSelectsTheRowAlone)
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

    // A row outside the selection: that process alone, which becomes the selection.
    std::unique_ptr<QMenu> menu(view.table().menuForRow(rowOf(outside.pid())));
    ASSERT_TRUE(menu);
    // A command-line tool with no window: no Bring to Front.
    EXPECT_EQ(texts(*menu), (QStringList{"Show in File Manager", "Copy Path", "", "Quit…", "Force Quit…"}));
    item(*menu, "Quit…")->trigger();
    ASSERT_NE(view.confirmation(), nullptr);
    EXPECT_EQ(view.confirmation()->text(), QStringLiteral("Quit “sleep”?"));
    button(*view.confirmation(), "Quit")->click();
    EXPECT_EQ(outside.endingSignal(), SIGTERM);
    EXPECT_TRUE(first.isRunning());
    EXPECT_TRUE(second.isRunning());
    EXPECT_EQ(view.table().selectedPids(), std::set<std::int32_t>{outside.pid()});
    view.table().setSelectedPids({first.pid(), second.pid()});

    // A row inside it: both selected processes, one shared path copied once.
    menu.reset(view.table().menuForRow(rowOf(second.pid())));
    ASSERT_TRUE(menu);
    EXPECT_EQ(texts(*menu), (QStringList{"Show in File Manager", "Copy Path", "", "Quit…", "Force Quit…"}));
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
        view.setFilter(QString::number(child.pid()));
        ASSERT_EQ(view.table().model()->rowCount(), 1);
        bool counted = false;
        for (const QLabel* label : view.findChildren<QLabel*>())
            counted = counted || label->text() == QStringLiteral("1 process");
        EXPECT_TRUE(counted);
    }
    EXPECT_FALSE(monitor.isSampling());
}

// Children under a name of their own (this test process's pid in it, so that another run of
// the suite beside this one doesn't share it), so that nothing else on the machine shares their rows.
struct Napper {
    Napper() : name("nap" + std::to_string(::getpid())), program(folder.file(name))
    {
        std::filesystem::copy_file("/usr/bin/sleep", program);
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    }
    TempDir folder;
    std::string name;
    std::string program;
};

// One sampling pass of the real process table, with its result delivered.
void sample(SystemMonitorStore& monitor)
{
    const auto before = monitor.lastProcessSample();
    monitor.tick();
    ASSERT_TRUE(waitUntil([&] { return monitor.lastProcessSample() != before; }));
}

TEST(RunningAppsView, TheSelectionOutlivesSamplesAndDownReachesTheNextRow)
{
    RecordingModel fixture;
    Napper napper;
    ChildProcess first(napper.program), second(napper.program), third(napper.program), fourth(napper.program);
    RunningAppsView view(*fixture.model);
    view.resize(900, 520);
    view.show();
    QAbstractItemModelTester tester(view.table().model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(view.table().model(), &QAbstractItemModel::modelReset);
    view.setScope(Scope::all);
    view.setFilter(QString::fromStdString(napper.name));
    SystemMonitorStore& monitor = fixture.model->monitor();
    sample(monitor);
    ASSERT_EQ(view.table().model()->rowCount(), 4);
    view.table().sortByColumn(ProcessTableModel::pid, Qt::AscendingOrder);
    const auto rowOf = [&](pid_t pid) { return view.table().tableModel().rowOf(pid); };
    QTest::mouseClick(view.table().viewport(), Qt::LeftButton, {},
                      view.table().visualRect(view.table().model()->index(rowOf(first.pid()), 0)).center());
    ASSERT_EQ(view.table().selectedPids(), std::set<std::int32_t>{first.pid()});

    for (int i = 0; i < 3; ++i) {
        if (i == 1) {
            ::kill(second.pid(), SIGKILL);
            second.reap();
        }
        sample(monitor);
        EXPECT_EQ(view.table().selectedPids(), std::set<std::int32_t>{first.pid()}) << i;
    }
    ASSERT_EQ(view.table().model()->rowCount(), 3);
    QTest::keyClick(&view.table(), Qt::Key_Down);
    EXPECT_EQ(view.table().selectedPids(), std::set<std::int32_t>{third.pid()});
    sample(monitor);
    QTest::keyClick(&view.table(), Qt::Key_Down);
    EXPECT_EQ(view.table().selectedPids(), std::set<std::int32_t>{fourth.pid()});
    EXPECT_EQ(resets.count(), 0);
}

TEST(RunningAppsView, BringToFrontRaisesTheExistingWindowOrSaysWhyNot)
{
    AppFixtures apps;
    RecordingModel fixture([&apps](const std::string&) {
        return apps.store([](const std::string&) { return std::optional<std::int64_t>(1000); });
    });
    fixture.model->apps().reload(fixture.database);
    ASSERT_TRUE(waitUntil([&] { return fixture.model->apps().apps().size() == apps.apps.size(); }));
    auto windows = std::make_shared<FakeProcessWindows>();
    fixture.model->setProcessWindows(windows);

    // The menu's Bring to Front for the one row shown: absent, or whether it is enabled and why not.
    using Item = std::optional<std::pair<bool, QString>>;
    const auto frontItem = [](RunningAppsView& view) -> Item {
        std::unique_ptr<QMenu> menu(view.table().menuForRow(0));
        if (!menu) {
            ADD_FAILURE() << "no menu";
            return std::nullopt;
        }
        for (QAction* action : menu->actions())
            if (action->text() == "Bring to Front")
                return std::make_pair(action->isEnabled(), action->isEnabled() ? QString() : action->toolTip());
        return std::nullopt;
    };
    const auto reselect = [](RunningAppsView& view, pid_t pid) {
        view.table().setSelectedPids({});
        view.table().setSelectedPids({pid});
    };
    const QString noWindow = RunningApplications::noWindowText;
    const QString wayland = ProcessWindows::waylandText;

    // A command-line tool is no running application: no item unless it shows a window here.
    // The toolbar button stays, disabled with the reason.
    {
        ChildProcess tool("/usr/bin/sleep");
        ChildOnScreen screen(fixture, tool);
        reselect(screen.view, tool.pid());
        EXPECT_EQ(frontItem(screen.view), Item());
        EXPECT_FALSE(screen.view.findChild<QToolButton*>(QStringLiteral("frontButton"))->isEnabled());
        EXPECT_EQ(screen.view.findChild<QToolButton*>(QStringLiteral("frontButton"))->toolTip(), noWindow);
        windows->windows[tool.pid()] = {0x500001};
        EXPECT_EQ(frontItem(screen.view), Item(std::make_pair(true, QString())));
        windows->refusal = ProcessWindows::waylandText;
        EXPECT_EQ(frontItem(screen.view), Item());
        windows->refusal.reset();
    }

    // An installed application's process has the item, disabled with the reason while it can't act.
    ChildProcess child(apps.demoProgram);
    ChildOnScreen screen(fixture, child);
    RunningAppsView& view = screen.view;
    ASSERT_EQ(screen.shown().name, "demo");
    reselect(view, child.pid());
    EXPECT_EQ(frontItem(view), Item(std::make_pair(false, noWindow)));
    EXPECT_FALSE(view.findChild<QToolButton*>(QStringLiteral("frontButton"))->isEnabled());
    EXPECT_EQ(view.findChild<QToolButton*>(QStringLiteral("frontButton"))->toolTip(), noWindow);

    // A Wayland session raises nothing.
    windows->windows[child.pid()] = {0x600001};
    windows->refusal = ProcessWindows::waylandText;
    reselect(view, child.pid());
    EXPECT_EQ(frontItem(view), Item(std::make_pair(false, wayland)));
    EXPECT_FALSE(view.findChild<QToolButton*>(QStringLiteral("frontButton"))->isEnabled());
    EXPECT_EQ(view.findChild<QToolButton*>(QStringLiteral("frontButton"))->toolTip(), wayland);

    // With a window on X11 the window itself is raised, from the toolbar and from the menu.
    windows->refusal.reset();
    reselect(view, child.pid());
    ASSERT_TRUE(view.findChild<QToolButton*>(QStringLiteral("frontButton"))->isEnabled());
    EXPECT_EQ(frontItem(view), Item(std::make_pair(true, QString())));
    view.findChild<QToolButton*>(QStringLiteral("frontButton"))->click();
    EXPECT_EQ(windows->activated, std::vector<ProcessWindows::Window>{0x600001});
    std::unique_ptr<QMenu> menu(view.table().menuForRow(0));
    for (QAction* action : menu->actions())
        if (action->text() == "Bring to Front") action->trigger();
    EXPECT_EQ(windows->activated, (std::vector<ProcessWindows::Window>{0x600001, 0x600001}));
    EXPECT_EQ(view.errorAlert(), nullptr);
    EXPECT_TRUE(child.isRunning());

    // A request the window manager does not take is reported under its own title.
    windows->takesRequests = false;
    view.findChild<QToolButton*>(QStringLiteral("frontButton"))->click();
    ASSERT_NE(view.errorAlert(), nullptr);
    EXPECT_EQ(view.errorAlert()->text(), "Couldn't bring the process to the front");
    EXPECT_EQ(view.errorAlert()->informativeText(), RunningApplications::frontFailedText);
}

} // namespace
