#include "ui/screens/preferences/SettingsView.h"

#include "ui/screens/preferences/PreferencesTestSupport.h"

#include "app/QtText.h"
#include "platform/FileSystem.h"
#include "ui/components/WrappingCheckBox.h"
#include "ui/screens/frame/ContentView.h"
#include "ui/screens/preferences/ScanCacheSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QPointer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SettingsViewTest : public PreferencesTest {
protected:
    template <class T>
    static T* child(QWidget& view, const char* name)
    {
        return view.findChild<T*>(QString::fromLatin1(name));
    }
    static QStringList stored() { return UserDefaults::standard().stringListValue(SettingsKey::excludedPaths); }
    static void choose(SettingsView& view, QStringList folders)
    {
        view.setFolderChooser([folders](QWidget*, const auto& chosen) { chosen(folders); });
        view.findChild<QPushButton*>(QStringLiteral("addFolder"))->click();
    }
    static void removeRow(SettingsView& view, const QString& path)
    {
        for (QWidget* row : view.findChildren<QWidget*>(QStringLiteral("excludedRow")))
            if (row->isVisibleTo(&view) && row->findChild<QLabel*>()->toolTip() == path)
                return row->findChild<QToolButton*>(QStringLiteral("removeExcluded"))->click();
        FAIL() << "no row for " << path.toStdString();
    }
};

TEST_F(SettingsViewTest, ExcludedListEditsArePureAndKeepOrder)
{
    struct Case {
        QStringList stored;
        QStringList chosen;
        QStringList added;
    };
    const Case adds[] = {
        {{}, {"/a"}, {"/a"}},
        {{"/a"}, {"/a"}, {"/a"}},
        {{"/a", "/b"}, {"/c", "/b", "/d", "/c"}, {"/a", "/b", "/c", "/d"}},
        {{"/Users/x"}, {"/users/x"}, {"/Users/x", "/users/x"}},   // exact, case-sensitive
    };
    for (const Case& c : adds)
        EXPECT_EQ(SettingsView::addingExcluded(c.stored, c.chosen), c.added);
    EXPECT_EQ(SettingsView::removingExcluded({"/a", "/b", "/a", "/c"}, "/a"), (QStringList{"/b", "/c"}));
    EXPECT_EQ(SettingsView::removingExcluded({"/a"}, "/A"), QStringList{"/a"});
}

TEST_F(SettingsViewTest, SmallTextRulesOfTheForm)
{
    EXPECT_EQ(SettingsView::systemFoldersLabel({}), "Include system folders");
    EXPECT_EQ(SettingsView::systemFoldersLabel({"/usr"}), "Include system folders (/usr)");
    EXPECT_EQ(SettingsView::systemFoldersLabel({"/usr", "/System"}), "Include system folders (/usr, /System)");
    // A folder's name is no keyboard mnemonic.
    EXPECT_EQ(SettingsView::systemFoldersLabel({"/srv/R&D"}), "Include system folders (/srv/R&&D)");
    EXPECT_EQ(SettingsView::systemFoldersLabel({"/usr", "/boot", "/etc", "/lost+found", "/media", "/mnt", "/root",
                                                "/snap", "/srv", "/tmp", "/var"}),
              "Include system folders (/usr, /boot, /etc, /lost+found, /media, /mnt, /root, /snap, /srv, /tmp, /var)");
    const std::pair<double, int> rows[] = {{1.0, 0}, {2.0, 1}, {5.0, 2}, {3.0, -1}, {0.0, -1}, {0.5, -1}};
    for (const auto& [seconds, row] : rows)
        EXPECT_EQ(SettingsView::intervalRow(seconds), row) << seconds;
    EXPECT_EQ(SettingsView::versionText(""), "—");
    EXPECT_EQ(SettingsView::versionText("0.1.0"), "0.1.0");
}

TEST_F(SettingsViewTest, TheSystemFoldersLabelNamesOnlyWhatThisMachinesScanAdds)
{
    const std::vector<std::string> added = SettingsView::systemFoldersAdded(FileSystem::standard());
    for (const std::string& path : added) {
        EXPECT_EQ(::access(path.c_str(), F_OK), 0) << path;
        EXPECT_NE(path, "/System");
    }
    // On a merged-/usr system /bin lies inside /usr and adds nothing of its own.
    EXPECT_NE(std::find(added.begin(), added.end(), "/usr"), added.end());
    EXPECT_EQ(std::find(added.begin(), added.end(), "/bin"), added.end());

    SettingsView view(*model);
    auto* toggle = view.findChild<QCheckBox*>(QStringLiteral("includeSystem"));
    ASSERT_TRUE(waitUntil([&] { return toggle->text() != "Include system folders"; }));
    EXPECT_EQ(toggle->text(), SettingsView::systemFoldersLabel(added));
}

TEST_F(SettingsViewTest, ALongSystemFoldersListWrapsInsideANarrowColumn)
{
    SettingsView view(*model);
    auto* toggle = view.findChild<QCheckBox*>(QStringLiteral("includeSystem"));
    auto* next = view.findChild<QCheckBox*>(QStringLiteral("includeExternal"));
    toggle->setText(SettingsView::systemFoldersLabel({"/usr", "/boot", "/etc", "/lost+found", "/media", "/mnt",
                                                      "/old_root", "/root", "/run", "/snap", "/srv", "/tmp", "/var"}));
    const auto* wrapping = dynamic_cast<WrappingCheckBox*>(toggle);
    ASSERT_NE(wrapping, nullptr);
    view.show();
    for (const int width : {380, 420, 480, 600}) {
        view.resize(width, 700);
        SCOPED_TRACE(width);
        // The height for the new width comes through the layouts' posted requests, a pass or more.
        EXPECT_TRUE(waitUntil([&] {
            return toggle->height() >= wrapping->lines(toggle->width()).size() * toggle->fontMetrics().height();
        }));
        // Inside the screen's width (no sideways scrolling to read it) and clear of the next row.
        EXPECT_LE(toggle->mapTo(&view, QPoint(toggle->width(), 0)).x(), width);
        EXPECT_LT(toggle->geometry().bottom(), next->geometry().top());
        // The whole text is drawn in that place, on as many lines as it takes, each line
        // broken between two folders.
        const QStringList lines = wrapping->lines(toggle->width());
        EXPECT_EQ(lines.join(QLatin1Char(' ')), toggle->text());
        EXPECT_GE(toggle->height(), lines.size() * toggle->fontMetrics().height());
        for (const QString& line : lines) {
            EXPECT_FALSE(line.endsWith(QLatin1Char('/'))) << line.toStdString();
            EXPECT_LT(toggle->fontMetrics().horizontalAdvance(line), toggle->width() - 16) << line.toStdString();
        }
        if (width == 380) saveScreenshot(view, QStringLiteral("settings-narrow-column"));
    }
}

TEST_F(SettingsViewTest, TwoViewsEditingTheExcludedListKeepEachOthersChanges)
{
    SettingsView window(*model);
    SettingsView sidebar(*model);
    choose(window, {"/srv/a"});
    choose(sidebar, {"/srv/b", "/srv/a"});
    EXPECT_EQ(stored(), (QStringList{"/srv/a", "/srv/b"}));
    EXPECT_EQ(window.shownExcluded(), stored());
    EXPECT_EQ(sidebar.shownExcluded(), stored());

    removeRow(window, "/srv/a");
    choose(sidebar, {"/srv/c"});
    EXPECT_EQ(stored(), (QStringList{"/srv/b", "/srv/c"}));
    EXPECT_EQ(window.shownExcluded(), stored());

    // A cancelled choice writes nothing; a duplicate choice still leaves the list whole.
    choose(window, {});
    choose(window, {"/srv/b"});
    EXPECT_EQ(stored(), (QStringList{"/srv/b", "/srv/c"}));
    removeRow(sidebar, "/srv/b");
    removeRow(sidebar, "/srv/c");
    EXPECT_TRUE(stored().isEmpty());
    EXPECT_TRUE(window.shownExcluded().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.findChildren<QWidget*>(QStringLiteral("excludedRow")).isEmpty());
}

TEST_F(SettingsViewTest, OpeningSettingsWritesNoStoredValue)
{
    struct Case {
        const char* name;
        QVariantMap stored;
        int shownReaders;
        int shownInterval;
    };
    const Case cases[] = {
        {"nothing stored", {}, 4, 1},
        {"outside what the controls offer",
         {{SettingsKey::scanConcurrency, 12}, {SettingsKey::monitorInterval, 3.0},
          {SettingsKey::includeExternalVolumes, false}, {SettingsKey::includeNetworkVolumes, true}},
         8, -1},
        {"below the stepper", {{SettingsKey::scanConcurrency, 0}, {SettingsKey::monitorInterval, 0.25}}, 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        settings.useForStandard(std::string(c.name) + ".ini");
        for (auto it = c.stored.begin(); it != c.stored.end(); ++it)
            UserDefaults::standard().setValue(it.key(), it.value());
        UserDefaults::standard().sync();
        const std::string before = [&] {
            std::ifstream in(settings.file(std::string(c.name) + ".ini"));
            return std::string(std::istreambuf_iterator<char>(in), {});
        }();

        auto view = std::make_unique<SettingsView>(*model);
        view->resize(600, 500);
        view->show();
        letEventsRun(std::chrono::milliseconds(100));
        EXPECT_EQ(view->findChild<QSpinBox*>(QStringLiteral("concurrency"))->value(), c.shownReaders);
        EXPECT_EQ(view->findChild<QComboBox*>(QStringLiteral("interval"))->currentIndex(), c.shownInterval);
        view.reset();

        UserDefaults::standard().sync();
        std::ifstream in(settings.file(std::string(c.name) + ".ini"));
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
        for (auto it = c.stored.begin(); it != c.stored.end(); ++it)
            EXPECT_EQ(UserDefaults::standard().value(it.key()), it.value()) << it.key().toStdString();
    }
}

TEST_F(SettingsViewTest, ControlsWriteOnlyWhatTheUserChangedAndBothViewsFollow)
{
    SettingsView first(*model);
    SettingsView second(*model);
    auto* readers = child<QSpinBox>(first, "concurrency");
    readers->stepBy(2);
    EXPECT_EQ(UserDefaults::standard().integerValue(SettingsKey::scanConcurrency), 6);
    EXPECT_EQ(child<QSpinBox>(second, "concurrency")->value(), 6);
    readers->stepBy(10);
    EXPECT_EQ(UserDefaults::standard().integerValue(SettingsKey::scanConcurrency), 8);

    child<QComboBox>(second, "interval")->setCurrentIndex(2);
    EXPECT_DOUBLE_EQ(UserDefaults::standard().doubleValue(SettingsKey::monitorInterval), 5.0);
    EXPECT_EQ(child<QComboBox>(first, "interval")->currentIndex(), 2);

    // Network volumes cannot be changed without external ones, and keep their value.
    auto* network = child<QCheckBox>(first, "includeNetwork");
    network->click();
    ASSERT_TRUE(UserDefaults::standard().boolValue(SettingsKey::includeNetworkVolumes));
    child<QCheckBox>(second, "includeExternal")->click();
    EXPECT_FALSE(UserDefaults::standard().boolValue(SettingsKey::includeExternalVolumes));
    EXPECT_FALSE(network->isEnabled());
    EXPECT_TRUE(network->isChecked());
    EXPECT_TRUE(UserDefaults::standard().boolValue(SettingsKey::includeNetworkVolumes));
    child<QCheckBox>(first, "includeExternal")->click();
    EXPECT_TRUE(network->isEnabled());
    EXPECT_TRUE(child<QCheckBox>(second, "includeNetwork")->isChecked());
}

TEST_F(SettingsViewTest, ScreenshotOfTheFilledForm)
{
    database->logError(tree.file("disk/Projects/locked"), "Permission denied");
    database->logError(tree.file("disk/Movies/odd\tname"), "No such file or directory");
    UserDefaults::standard().setValue(SettingsKey::excludedPaths,
                                      QStringList{qstr(tree.file("disk/Movies")), QStringLiteral("/srv/backups")});
    SettingsView view(*model);
    view.resize(600, 1400);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.findChild<ScanCacheSettings*>(QStringLiteral("scanCache"))->errors().size() == 2; }));
    letEventsRun(std::chrono::milliseconds(150));
    saveScreenshot(view, QStringLiteral("settings-view"));
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("version"))->text(), "—");
}

// A row whose path stays is the same row; rows stand in the stored order.
TEST_F(SettingsViewTest, ExcludedRowsAreKeptByTheirPath)
{
    SettingsView view(*model);
    view.resize(600, 700);
    view.show();
    const auto rowOf = [&](const QString& path) -> QWidget* {
        for (QWidget* row : view.findChildren<QWidget*>(QStringLiteral("excludedRow")))
            if (row->isVisibleTo(&view) && row->findChild<QLabel*>()->toolTip() == path)
                return row;
        return nullptr;
    };
    const auto shownOrder = [&] {
        std::vector<std::pair<int, QString>> rows;
        for (QWidget* row : view.findChildren<QWidget*>(QStringLiteral("excludedRow")))
            if (row->isVisibleTo(&view))
                rows.emplace_back(row->mapTo(&view, QPoint()).y(), row->findChild<QLabel*>()->toolTip());
        std::sort(rows.begin(), rows.end());
        QStringList paths;
        for (const auto& row : rows)
            paths << row.second;
        return paths;
    };
    choose(view, {"/srv/a", "/srv/b"});
    QCoreApplication::processEvents();
    QPointer<QWidget> a = rowOf("/srv/a");
    ASSERT_TRUE(a);
    a->findChild<QToolButton*>()->setFocus();
    choose(view, {"/srv/c"});
    QCoreApplication::processEvents();
    removeRow(view, "/srv/b");
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(rowOf("/srv/a"), a.data());
    EXPECT_TRUE(a);
    EXPECT_EQ(rowOf("/srv/b"), nullptr);
    EXPECT_EQ(shownOrder(), (QStringList{"/srv/a", "/srv/c"}));

    // Another view writes a new order: the rows follow it.
    UserDefaults::standard().setValue(SettingsKey::excludedPaths, QStringList{"/srv/c", "/srv/d", "/srv/a"});
    QCoreApplication::processEvents();
    EXPECT_EQ(shownOrder(), (QStringList{"/srv/c", "/srv/d", "/srv/a"}));
    EXPECT_EQ(rowOf("/srv/a"), a.data());
}

// The folder dialog belongs to the screen: modal over its window, and gone with it.
TEST_F(SettingsViewTest, TheFolderDialogGoesWithItsScreen)
{
    TempDir folders;
    const std::string chosen = folders.file("Movies");
    ::mkdir(chosen.c_str(), 0700);
    auto view = std::make_unique<SettingsView>(*model);
    view->show();
    view->findChild<QPushButton*>(QStringLiteral("addFolder"))->click();
    QPointer<QFileDialog> dialog = view->findChild<QFileDialog*>(QStringLiteral("excludeDialog"));
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Exclude");
    dialog->selectFile(QString::fromStdString(chosen));
    static_cast<QDialog*>(dialog.data())->accept();
    QCoreApplication::processEvents();
    EXPECT_EQ(stored(), QStringList{QString::fromStdString(chosen)});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(dialog);

    // Left open when the screen goes: it goes too, and nothing is written.
    view->findChild<QPushButton*>(QStringLiteral("addFolder"))->click();
    dialog = view->findChild<QFileDialog*>(QStringLiteral("excludeDialog"));
    ASSERT_TRUE(dialog);
    view.reset();
    EXPECT_FALSE(dialog);
    EXPECT_EQ(stored(), QStringList{QString::fromStdString(chosen)});
}

TEST_F(SettingsViewTest, TheSettingsWindowAndTheSidebarScreenAreBothSettingsViews)
{
    SettingsFolder appSettings;
    auto app = launchApp(appSettings, database);
    app->model().setSelection(SidebarItem::settings);
    app->showSettings();
    QWidget* window = app->settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(600, 500));
    auto* inWindow = window->findChild<SettingsView*>();
    auto* inMain = app->mainWindow().findChild<SettingsView*>();
    ASSERT_NE(inWindow, nullptr);
    ASSERT_NE(inMain, nullptr);
    inWindow->setFolderChooser([](QWidget*, const auto& chosen) { chosen(QStringList{"/srv/media"}); });
    inWindow->findChild<QPushButton*>(QStringLiteral("addFolder"))->click();
    EXPECT_EQ(inMain->shownExcluded(), QStringList{"/srv/media"});
    letEventsRun(std::chrono::milliseconds(150));
    saveScreenshot(*window, QStringLiteral("settings-window"));
}

} // namespace
