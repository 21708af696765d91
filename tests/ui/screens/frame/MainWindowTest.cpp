#include "ui/support/UiTestSupport.h"

#include "app/AppModel.h"
#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "support/TestHome.h"
#include "support/TempDir.h"
#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/KestrelmoorApp.h"
#include "ui/screens/frame/KestrelmoorCommands.h"
#include "ui/screens/frame/ScanToolbar.h"
#include "ui/screens/frame/SidebarList.h"
#include "ui/screens/frame/SidebarScanStatus.h"
#include "ui/screens/frame/WindowPlacement.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDateTime>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QListWidget>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include <sys/stat.h>

namespace {

using Kind = ScanPhase::Kind;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        database = std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite"));
        app = launchApp(settings, database);
    }

    AppModel& model() { return app->model(); }
    ContentView& window() { return app->mainWindow(); }
    ScanCoordinator& scan() { return model().scan(); }

    QString screenTitle()
    {
        auto* title = window().currentScreen()->findChild<QLabel*>(QStringLiteral("screenTitle"));
        return title ? title->text() : QString();
    }
    QListWidgetItem* row(const QString& text)
    {
        const auto found = window().sidebarList()->findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.front();
    }
    // The toolbar buttons a person sees, in order.
    static QStringList toolbarButtons(ContentView& window)
    {
        QStringList shown;
        for (auto* button : window.findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))->findChildren<QToolButton*>())
            if (button->isVisibleTo(window.findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))))
                shown << button->text() + (button->isEnabled() ? "" : " (disabled)");
        return shown;
    }
    QStringList footerLines()
    {
        QStringList lines;
        SidebarScanStatus* status = window().findChild<SidebarScanStatus*>(QStringLiteral("scanStatus"));
        for (const char* name : {"phaseLabel", "countLabel", "lastScanLabel", "incompleteLabel", "notScannedLabel"}) {
            auto* label = status->findChild<QLabel*>(QString::fromLatin1(name));
            if (label && label->isVisibleTo(status))
                lines << label->text();
        }
        return lines;
    }
    QStringList menuState()
    {
        QStringList state;
        KestrelmoorCommands& c = app->commands();
        for (QAction* action : {c.scanAction(), c.resumeAction(), c.pauseAction(), c.cancelAction()})
            state << action->text() + (action->isEnabled() ? "" : " (disabled)");
        return state;
    }

    SettingsFolder settings;
    TempDir cache;
    std::shared_ptr<StorageDatabase> database;
    std::unique_ptr<KestrelmoorApp> app;
};

TEST_F(MainWindowTest, EveryScreenShowsItsTitleAtItsTop)
{
    window().resize(720, 480);
    window().show();
    for (const SidebarItem item : allSidebarItems()) {
        model().setSelection(item);
        QCoreApplication::processEvents();
        QWidget& screen = *window().currentScreen();
        const QString expected = QString::fromUtf8(title(item).data(), static_cast<qsizetype>(title(item).size()));
        SCOPED_TRACE(expected.toStdString());
        auto* heading = screen.findChild<QLabel*>(QStringLiteral("screenTitle"));
        if (!heading) {
            ADD_FAILURE() << "no title";
            continue;
        }
        EXPECT_EQ(heading->text(), expected);
        EXPECT_TRUE(heading->isVisibleTo(&screen));
        // Above everything else the screen shows, as on the other screens.
        EXPECT_LT(heading->mapTo(&screen, QPoint(0, 0)).y(), 40);
        EXPECT_EQ(heading->font().weight(), QFont::DemiBold);
    }
}

TEST_F(MainWindowTest, TheSidebarShowsTheFourSectionsAndFollowsTheSelection)
{
    QStringList rows;
    for (int i = 0; i < window().sidebarList()->count(); ++i)
        rows << window().sidebarList()->item(i)->text();
    EXPECT_EQ(rows, (QStringList{"Overview", "Dashboard", "Storage", "Disk", "Largest Files", "Largest Folders",
                                 "Developer Storage", "Duplicates", "Cleanup", "Search", "System", "Applications",
                                 "Running Apps", "Memory", "CPU", "Preferences", "Storage Access", "Privacy",
                                 "Settings"}));
    EXPECT_EQ(window().windowTitle(), "Kestrelmoor");
    EXPECT_EQ(window().minimumSize(), QSize(720, 480));
    EXPECT_EQ(window().size(), QSize(1000, 660));
    EXPECT_EQ(screenTitle(), "Dashboard");
    EXPECT_TRUE(row("Dashboard")->isSelected());
    EXPECT_FALSE(row("Disk")->flags() & Qt::ItemIsSelectable);
}

TEST_F(MainWindowTest, ALaterAlertReplacesTheShownOneAndOnlyItsDismissalClearsTheModel)
{
    model().setAlert(AppAlert::make("First", "one"));
    QPointer<QMessageBox> first = window().alertBox();
    ASSERT_NE(first, nullptr);
    model().setAlert(AppAlert::make("", "two"));
    QMessageBox* second = window().alertBox();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->text(), "");
    EXPECT_EQ(second->informativeText(), "two");
    QCoreApplication::processEvents();
    EXPECT_TRUE(!first || !first->isVisible());
    EXPECT_EQ(window().alertBox(), second);    // closing the replaced box left the new one alone
    ASSERT_TRUE(model().alert().has_value());
    EXPECT_EQ(model().alert()->message, "two");

    ASSERT_EQ(second->buttons().size(), 1);
    EXPECT_EQ(second->buttons().front()->text().remove('&'), "OK");
    second->buttons().front()->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(model().alert().has_value());
    EXPECT_EQ(window().alertBox(), nullptr);
}

TEST_F(MainWindowTest, EachChangeOfSelectionBuildsAFreshScreenAndOnlyThen)
{
    window().show();
    QWidget* dashboard = window().currentScreen();

    window().sidebarList()->setCurrentItem(row("Memory"));
    EXPECT_EQ(model().selection(), SidebarItem::memory);
    EXPECT_EQ(screenTitle(), "Memory");
    QWidget* memory = window().currentScreen();
    EXPECT_NE(memory, dashboard);

    // The row already selected: the same screen stays.
    window().sidebarList()->setCurrentItem(row("Memory"));
    row("Memory")->setSelected(true);
    EXPECT_EQ(window().currentScreen(), memory);

    // Whatever takes the list's selection away, it comes back and the screen stays.
    row("Memory")->setSelected(false);
    EXPECT_EQ(model().selection(), SidebarItem::memory);
    EXPECT_TRUE(row("Memory")->isSelected());
    EXPECT_EQ(window().currentScreen(), memory);
    window().sidebarList()->clearSelection();
    EXPECT_TRUE(row("Memory")->isSelected());
    EXPECT_EQ(window().currentScreen(), memory);
    window().sidebarList()->setCurrentItem(row("Dashboard"));
    EXPECT_EQ(model().selection(), SidebarItem::dashboard);
    EXPECT_NE(window().currentScreen(), memory);

    // Navigation from anywhere else moves the sidebar too.
    model().setSelection(SidebarItem::cpu);
    EXPECT_TRUE(row("CPU")->isSelected());
    EXPECT_EQ(screenTitle(), "CPU");

    // Submitting the search field, even empty, shows Search; a second submit
    // leaves that screen alone.
    emit window().searchField()->returnPressed();
    EXPECT_EQ(model().selection(), SidebarItem::search);
    QWidget* search = window().currentScreen();
    window().searchField()->setText(QStringLiteral("*.zip"));
    EXPECT_EQ(model().searchText(), "*.zip");
    emit window().searchField()->returnPressed();
    EXPECT_EQ(window().currentScreen(), search);
    model().setSearchText("size > 1 GB");
    EXPECT_EQ(window().searchField()->text(), "size > 1 GB");
    EXPECT_EQ(window().searchField()->placeholderText(), "Search: *.zip, node_modules, size > 1 GB");

    // The offline line leads to Privacy.
    window().findChild<SidebarScanStatus*>(QStringLiteral("scanStatus"))->findChild<QToolButton*>(QStringLiteral("offlineButton"))->click();
    EXPECT_EQ(model().selection(), SidebarItem::privacy);
    QCoreApplication::processEvents();
}

TEST(SidebarListSteps, TheNearestSelectableRowEachWay)
{
    // Rows as the sidebar has them: a heading, then its screens.
    const std::vector<bool> rows{false, true, true, false, true, false, false, true};
    const struct {
        int from, direction, expected;
    } cases[] = {
        {1, 1, 2}, {2, 1, 4}, {4, 1, 7}, {7, 1, -1},    // down, over one heading or two
        {7, -1, 4}, {4, -1, 2}, {1, -1, -1},             // up; none above the first screen
        {-1, 1, 1}, {8, -1, 7},                          // from outside: the first and the last
        {0, 1, 1}, {3, -1, 2}, {5, 1, 7},                // from a heading
    };
    for (const auto& c : cases)
        EXPECT_EQ(SidebarList::steppedRow(rows, c.from, c.direction), c.expected) << c.from << " " << c.direction;
    EXPECT_EQ(SidebarList::steppedRow({}, -1, 1), -1);
}

// A person's clicks and keys on the sidebar: a heading is never selected, the keys
// step over headings, and the open screen with its state is kept.
TEST_F(MainWindowTest, HeadingsAreNeverSelectedAndTheOpenScreenStays)
{
    window().show();
    QListWidget& list = *window().sidebarList();
    QWidget* viewport = list.viewport();
    const auto centre = [&](const QString& text) { return list.visualItemRect(row(text)).center(); };

    model().setSelection(SidebarItem::duplicates);
    QPointer<QWidget> duplicates = window().currentScreen();
    list.setFocus();
    const struct {
        const char* name;
        std::function<void()> act;
    } clicks[] = {
        {"Overview", [&] { QTest::mouseClick(viewport, Qt::LeftButton, {}, centre("Overview")); }},
        {"Disk", [&] { QTest::mouseClick(viewport, Qt::LeftButton, {}, centre("Disk")); }},
        {"System", [&] { QTest::mouseClick(viewport, Qt::LeftButton, {}, centre("System")); }},
        {"Preferences", [&] { QTest::mouseClick(viewport, Qt::LeftButton, {}, centre("Preferences")); }},
        {"double click", [&] { QTest::mouseDClick(viewport, Qt::LeftButton, {}, centre("Disk")); }},
        {"Ctrl+click on the selected row",
         [&] { QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, centre("Duplicates")); }},
        {"Ctrl+click on a heading",
         [&] { QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, centre("System")); }},
        {"empty space", [&] { QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(20, viewport->height() - 2)); }},
    };
    for (const auto& click : clicks) {
        click.act();
        QCoreApplication::processEvents();
        EXPECT_EQ(model().selection(), SidebarItem::duplicates) << click.name;
        EXPECT_TRUE(row("Duplicates")->isSelected()) << click.name;
        EXPECT_EQ(list.selectedItems().size(), 1) << click.name;
        EXPECT_EQ(window().currentScreen(), duplicates.data()) << click.name;
    }
    EXPECT_TRUE(duplicates);

    const struct {
        const char* from;
        Qt::Key key;
        const char* to;
    } keys[] = {
        {"Storage", Qt::Key_Down, "Largest Files"},     {"Largest Files", Qt::Key_Up, "Storage"},
        {"Search", Qt::Key_Down, "Applications"},       {"CPU", Qt::Key_Down, "Storage Access"},
        {"Storage Access", Qt::Key_Up, "CPU"},          {"Dashboard", Qt::Key_Up, "Dashboard"},
        {"Settings", Qt::Key_Down, "Settings"},         {"Memory", Qt::Key_Home, "Dashboard"},
        {"Memory", Qt::Key_End, "Settings"},            {"Storage", Qt::Key_PageDown, nullptr},
        {"Settings", Qt::Key_PageUp, nullptr},
    };
    for (const auto& k : keys) {
        list.setCurrentItem(row(k.from));
        QTest::keyClick(&list, k.key);
        const QList<QListWidgetItem*> selected = list.selectedItems();
        ASSERT_EQ(selected.size(), 1) << k.from << " " << k.key;
        EXPECT_TRUE(selected.front()->flags() & Qt::ItemIsSelectable) << k.from << " " << k.key;
        EXPECT_EQ(list.currentItem(), selected.front()) << k.from << " " << k.key;
        if (k.to) {
            EXPECT_EQ(selected.front()->text(), k.to) << k.from << " " << k.key;
        }
        EXPECT_TRUE(model().selection().has_value());
    }
}

TEST_F(MainWindowTest, ScreenShortcutsGoByPositionInTheirList)
{
    const std::vector<QAction*>& actions = app->commands().screenActions();
    ASSERT_EQ(actions.size(), 10u);
    const std::pair<const char*, SidebarItem> expected[] = {
        {"Ctrl+1", SidebarItem::dashboard}, {"Ctrl+2", SidebarItem::storage},
        {"Ctrl+3", SidebarItem::largestFiles}, {"Ctrl+4", SidebarItem::largestFolders},
        {"Ctrl+5", SidebarItem::applications}, {"Ctrl+6", SidebarItem::runningApps},
        {"Ctrl+7", SidebarItem::memory}, {"Ctrl+8", SidebarItem::cpu},
        {"Ctrl+9", SidebarItem::cleanup}, {"Ctrl+Alt+F", SidebarItem::search},
    };
    for (std::size_t i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(actions[i]->shortcut(), QKeySequence(QString::fromLatin1(expected[i].first)));
        model().setSelection(SidebarItem::settings);
        actions[i]->trigger();
        EXPECT_EQ(model().selection(), expected[i].second) << expected[i].first;
        EXPECT_TRUE(actions[i]->isEnabled());
    }
    KestrelmoorCommands& c = app->commands();
    EXPECT_EQ(c.scanAction()->shortcut(), QKeySequence("Ctrl+R"));
    EXPECT_EQ(c.resumeAction()->shortcut(), QKeySequence("Ctrl+Shift+R"));
    EXPECT_EQ(c.pauseAction()->shortcut(), QKeySequence("Ctrl+Alt+P"));
    EXPECT_EQ(c.cancelAction()->shortcut(), QKeySequence("Ctrl+."));
}

// Shortcut texts are this desktop's ("Ctrl+R"), never another system's glyphs, and
// the desktop's Find key goes to the toolbar's search field.
TEST_F(MainWindowTest, ShortcutTextsAreTheDesktopsAndFindGoesToTheSearchField)
{
    window().resize(1000, 660);
    window().show();
    QApplication::setActiveWindow(&window());
    QCoreApplication::processEvents();
    auto* scanButton = window().findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))->findChild<QToolButton*>(QStringLiteral("scanButton"));
    EXPECT_EQ(scanButton->toolTip(), "Scan your computer (Ctrl+R). Only changes since the last scan are written.");

    const QStringList foreignGlyphs{QStringLiteral("\u2318"), QStringLiteral("\u2325"), QStringLiteral("\u21E7"),
                                    QStringLiteral("Cmd"), QStringLiteral("Command-")};
    QStringList shown;
    for (QWidget* widget : window().findChildren<QWidget*>()) {
        shown << widget->toolTip();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            shown << button->text();
    }
    for (QAction* action : window().findChildren<QAction*>())
        shown << action->text() << action->toolTip() << action->shortcut().toString(QKeySequence::NativeText);
    for (const QString& text : shown)
        for (const QString& glyph : foreignGlyphs)
            EXPECT_FALSE(text.contains(glyph)) << text.toStdString();

    const struct {
        SidebarItem screen;
        const char* name;
    } from[] = {{SidebarItem::dashboard, "dashboard"}, {SidebarItem::settings, "settings"},
                {SidebarItem::runningApps, "running apps"}};
    for (const auto& start : from) {
        model().setSelection(start.screen);
        window().sidebarList()->setFocus();
        QCoreApplication::processEvents();
        // Through the window, as a typed key comes, so that shortcuts see it first.
        QTest::keyClick(window().windowHandle(), Qt::Key_F, Qt::ControlModifier);
        EXPECT_EQ(QApplication::focusWidget(), window().searchField()) << start.name;
    }
}

TEST(WindowPlacementRules, TheLastPlaceIsKeptOnAScreenThatIsThere)
{
    const QSize minimum(720, 480);
    const QSize standard(1000, 660);
    const QRect laptop(0, 0, 1440, 876);         // the primary screen's available area
    const QRect monitor(1440, -200, 1920, 1080); // a second one to its right, higher up
    const struct {
        const char* name;
        std::optional<QRect> stored;
        QList<QRect> screens;
        WindowPlacement expected;
    } cases[] = {
        {"never stored", std::nullopt, {laptop}, {standard, std::nullopt}},
        {"an empty size", QRect(10, 10, 0, 0), {laptop}, {standard, std::nullopt}},
        {"no screen known", QRect(10, 10, 900, 600), {}, {standard, std::nullopt}},
        {"kept as it was", QRect(120, 80, 900, 600), {laptop}, {QSize(900, 600), QPoint(120, 80)}},
        {"on the second screen", QRect(1600, -100, 1200, 800), {laptop, monitor}, {QSize(1200, 800), QPoint(1600, -100)}},
        {"the second screen is gone", QRect(1600, -100, 1200, 800), {laptop},
         {QSize(1200, 800), QPoint(120, 38)}},
        {"far off every screen", QRect(-5000, 9000, 900, 600), {laptop}, {QSize(900, 600), QPoint(270, 138)}},
        {"title bar above the screen", QRect(100, -400, 900, 600), {laptop}, {QSize(900, 600), QPoint(270, 138)}},
        {"partly off the right edge", QRect(1300, 100, 900, 600), {laptop}, {QSize(900, 600), QPoint(540, 100)}},
        {"larger than the screen", QRect(0, 0, 3000, 2000), {laptop}, {QSize(1440, 876), QPoint(0, 0)}},
        {"below the minimum size", QRect(50, 50, 300, 200), {laptop}, {minimum, QPoint(50, 50)}},
        {"a screen smaller than the minimum", QRect(0, 0, 900, 600), {QRect(0, 0, 640, 400)},
         {minimum, QPoint(0, 0)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WindowPlacement::restored(c.stored, c.screens, minimum, standard), c.expected) << c.name;
}

// Closed in one run, the window opens where it was in the next.
TEST_F(MainWindowTest, TheWindowOpensWithTheSizeAndPlaceItWasClosedWith)
{
    window().show();
    window().resize(760, 500);
    window().move(12, 34);
    QCoreApplication::processEvents();
    const QPoint frame = window().pos();
    window().close();
    app.reset();

    app = launchApp(settings, database);
    EXPECT_EQ(window().size(), QSize(760, 500));
    EXPECT_EQ(window().pos(), frame);
    EXPECT_FALSE(window().isMaximized());

    // A place no screen shows now: the window comes back onto the screen.
    UserDefaults::standard().setValue(ContentView::frameKey, QRect(-8000, -8000, 760, 500));
    app = launchApp(settings, database);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(QRect(window().pos(), window().size()))) << window().pos().x() << "," << window().pos().y();
    EXPECT_EQ(window().size(), QSize(760, 500));

    // A window closed maximized opens maximized, and keeps the size it had before.
    window().show();
    window().showMaximized();
    QCoreApplication::processEvents();
    window().close();
    app = launchApp(settings, database);
    EXPECT_TRUE(window().windowState() & Qt::WindowMaximized);
    EXPECT_EQ(UserDefaults::standard().value(ContentView::frameKey).toRect().size(), QSize(760, 500));
}

TEST_F(MainWindowTest, TheFileMenuOpensOneSettingsWindowAndNoSecondMainWindow)
{
    QMenu* file = window().menuBar()->findChild<QMenu*>();
    ASSERT_NE(file, nullptr);
    QStringList items;
    QAction* settingsItem = nullptr;
    for (QAction* action : file->actions()) {
        if (action->isSeparator())
            continue;
        items << action->text();
        if (action->text() == "Settings…")
            settingsItem = action;
    }
    EXPECT_EQ(items, (QStringList{"Settings…", "Quit Kestrelmoor"}));
    ASSERT_NE(settingsItem, nullptr);
    settingsItem->trigger();
    QPointer<QWidget> settingsWindow = app->settingsWindow();
    ASSERT_TRUE(settingsWindow);
    EXPECT_TRUE(settingsWindow->isVisible());
    EXPECT_EQ(settingsWindow->size(), QSize(600, 500));
    settingsItem->trigger();
    EXPECT_EQ(app->settingsWindow(), settingsWindow.data());
    settingsWindow->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(settingsWindow);
}

TEST_F(MainWindowTest, ToolbarFooterAndMenusFollowEveryPhase)
{
    // Until the cache has been read it is not known that nothing was scanned.
    EXPECT_EQ(footerLines(), QStringList{});
    bool loaded = false;
    scan().loadInitial([&] { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    window().show();
    const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    auto record = [](ScanRecord::Status status, std::optional<double> finished) {
        ScanRecord r;
        r.id = 5;
        r.status = status;
        r.finished = finished;
        return r;
    };
    struct Case {
        const char* name;
        ScanPhase phase;
        std::int64_t files;
        std::optional<std::int64_t> resumable;
        std::optional<ScanRecord> lastScan;
        QStringList toolbar;
        QStringList footer;
        QStringList menus;
    };
    const QStringList idleMenus{"Scan Computer", "Resume Previous Scan (disabled)", "Pause Scan (disabled)",
                                "Cancel Scan (disabled)"};
    const QStringList activeMenus{"Scan Computer (disabled)", "Resume Previous Scan (disabled)", "Pause Scan",
                                  "Cancel Scan"};
    const Case cases[] = {
        {"idle", Kind::idle, 0, std::nullopt, std::nullopt, {"Scan Computer"}, {"Not scanned yet"}, idleMenus},
        {"preparing", Kind::preparing, 0, std::nullopt, std::nullopt, {"Pause", "Cancel"}, {"Scanning…", "0"},
         activeMenus},
        {"scanning", Kind::scanning, 1234567, 5, std::nullopt, {"Pause", "Cancel"}, {"Scanning…", "1,234,567"},
         activeMenus},
        {"paused", Kind::paused, 4200, std::nullopt, std::nullopt, {"Continue", "Cancel"}, {"Paused", "4,200"},
         {"Scan Computer (disabled)", "Resume Previous Scan (disabled)", "Continue Scan", "Cancel Scan"}},
        {"finalizing", Kind::finalizing, 9000, std::nullopt, std::nullopt, {"Pause", "Cancel"},
         {"Finishing…", "9,000"}, activeMenus},
        {"completed", Kind::completed, 9000, std::nullopt, record(ScanRecord::Status::completed, now - 7300),
         {"Scan Computer"}, {"Last scan: 2 hours ago"}, idleMenus},
        {"cancelled", Kind::cancelled, 300, 5, record(ScanRecord::Status::cancelled, now - 30 * 3600),
         {"Resume Scan", "Scan Computer"}, {"Last scan: yesterday", "Incomplete — resume available"},
         {"Scan Computer", "Resume Previous Scan", "Pause Scan (disabled)", "Cancel Scan (disabled)"}},
        {"failed", ScanPhase::failed("disk I/O error"), 300, 5, record(ScanRecord::Status::cancelled, std::nullopt),
         {"Resume Scan", "Scan Computer"}, {"Not scanned yet"},
         {"Scan Computer", "Resume Previous Scan", "Pause Scan (disabled)", "Cancel Scan (disabled)"}},
    };
    for (const Case& c : cases) {
        StorageSummary summary;
        summary.lastScan = c.lastScan;
        ScanCoordinatorTestAccess::setSummary(scan(), summary);
        ScanCoordinatorTestAccess::setResumableScanID(scan(), c.resumable);
        ScanProgress progress;
        progress.phase = c.phase;
        progress.filesScanned = c.files;
        ScanCoordinatorTestAccess::setProgress(scan(), progress);

        EXPECT_EQ(toolbarButtons(window()), c.toolbar) << c.name;
        EXPECT_EQ(footerLines(), c.footer) << c.name;
        EXPECT_EQ(menuState(), c.menus) << c.name;
        const bool active = ScanCoordinator::isActive(c.phase);
        EXPECT_EQ(window().findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))->findChild<QProgressBar*>()->isVisibleTo(window().findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))), active)
            << c.name;
        QCoreApplication::processEvents();
        saveScreenshot(window(), QStringLiteral("window-") + QString::fromLatin1(c.name));
    }

    // Pause is offered while preparing but does nothing there.
    ScanCoordinatorTestAccess::setPhase(scan(), Kind::preparing);
    window().findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))->findChild<QToolButton*>(QStringLiteral("pauseButton"))->click();
    EXPECT_EQ(scan().progress().phase.kind(), Kind::preparing);
}

TEST_F(MainWindowTest, TheLastScansAgeIsWordedAgainAsTimePasses)
{
    window().show();
    bool started = false;
    model().start([&] { started = true; });
    ASSERT_TRUE(waitUntil([&] { return started; }));
    ScanRecord last;
    last.id = 1;
    last.status = ScanRecord::Status::completed;
    last.finished = static_cast<double>(QDateTime::currentSecsSinceEpoch()) - 58;
    StorageSummary summary;
    summary.lastScan = last;
    ScanCoordinatorTestAccess::setSummary(scan(), summary);
    EXPECT_EQ(footerLines(), QStringList{"Last scan: 58 seconds ago"});

    // Nothing else changes: the footer's own clock moves the text on.
    window().findChild<SidebarScanStatus*>(QStringLiteral("scanStatus"))->findChild<QTimer*>()->setInterval(20);
    EXPECT_TRUE(waitUntil([&] { return footerLines() == QStringList{"Last scan: 1 minute ago"}; }))
        << footerLines().join(", ").toStdString();
}

TEST_F(MainWindowTest, WithoutAScanCacheScanningIsOfferedDisabled)
{
    TestHome home;
    home.write(".local/share/Kestrelmoor", "not a folder");
    KestrelmoorApp bare(std::make_unique<AppModel>(nullptr, emptyApplicationsStore(settings.path())));
    ASSERT_EQ(bare.model().database(), nullptr);
    EXPECT_EQ(toolbarButtons(bare.mainWindow()), QStringList{"Scan Computer (disabled)"});
    bare.mainWindow().findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))->findChild<QToolButton*>(QStringLiteral("scanButton"))->click();
    bare.commands().scanAction()->trigger();
    EXPECT_EQ(bare.model().scan().task(), nullptr);
    EXPECT_EQ(bare.model().scan().progress().phase.kind(), Kind::idle);
}

TEST_F(MainWindowTest, SettingsThatCannotBeUsedAreSaidOnceTheWindowIsShown)
{
    ASSERT_EQ(::mkfifo(settings.file("fifo.ini").c_str(), 0600), 0);
    settings.useForStandard("fifo.ini");
    KestrelmoorApp refused(std::make_unique<AppModel>(database, emptyApplicationsStore(settings.path())));
    refused.show();
    ASSERT_TRUE(waitUntil([&] { return refused.mainWindow().alertBox() != nullptr; }));
    EXPECT_EQ(refused.mainWindow().alertBox()->text(), "Your settings couldn't be used");
    EXPECT_TRUE(refused.mainWindow().alertBox()->informativeText().contains("fifo.ini is a FIFO"))
        << refused.mainWindow().alertBox()->informativeText().toStdString();
    settings.useForStandard();
}

TEST_F(MainWindowTest, AScanStartedFromTheToolbarRunsToTheEndWithTheFooterCounting)
{
    TempDir tree;
    for (int folder = 0; folder < 40; ++folder)
        for (int file = 0; file < 50; ++file)
            tree.write("disk/d" + std::to_string(folder) + "/f" + std::to_string(file) + ".bin", 512);
    tree.write("other/readme.txt", "hello");
    const std::vector<std::string> roots{tree.file("disk"), tree.file("other")};
    scan().setRootsProvider([roots] { return roots; });
    window().show();
    bool started = false;
    model().start([&] { started = true; });
    ASSERT_TRUE(waitUntil([&] { return started; }));

    QStringList counts;
    QObject::connect(&scan(), &ScanCoordinator::progressChanged, [&] {
        auto* count = window().findChild<SidebarScanStatus*>(QStringLiteral("scanStatus"))->findChild<QLabel*>(QStringLiteral("countLabel"));
        if (ScanCoordinator::isActive(scan().progress().phase) && (counts.isEmpty() || counts.back() != count->text()))
            counts << count->text();
    });
    window().findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))->findChild<QToolButton*>(QStringLiteral("scanButton"))->click();
    EXPECT_EQ(toolbarButtons(window()), (QStringList{"Pause", "Cancel"}));
    ASSERT_TRUE(waitUntil([&] { return scan().task() == nullptr && scan().dataVersion() == 1; }));

    EXPECT_EQ(scan().progress().phase.kind(), Kind::completed);
    ASSERT_FALSE(counts.isEmpty());
    EXPECT_EQ(counts.front(), "0");
    EXPECT_EQ(counts.back(), "2,001");
    const QStringList footer = footerLines();
    ASSERT_EQ(footer.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Last scan: (now|\\d+ seconds? ago)$")).match(footer.front()).hasMatch())
        << footer.front().toStdString();
    EXPECT_EQ(toolbarButtons(window()), QStringList{"Scan Computer"});
    for (const std::string& root : roots)
        EXPECT_TRUE(database->folder(root).has_value()) << root;
    EXPECT_EQ(database->totals().fileCount, 2001);
    saveScreenshot(window(), QStringLiteral("window-after-scan"));
}

} // namespace
