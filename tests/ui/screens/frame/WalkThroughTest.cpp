#include "app/ApplicationsStore.h"
#include "app/ScanCoordinator.h"
#include "app/SystemMonitorStore.h"
#include "ui/components/CategoryDonutChart.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/MetricCard.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"
#include "ui/support/RealKeys.h"
#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/KestrelmoorApp.h"
#include "ui/screens/frame/ScanToolbar.h"
#include "ui/screens/frame/TrashConfirmationSheet.h"
#include "ui/screens/system/TopProcessesList.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace {

// Everything a person can read on the screen: labels, tiles, buttons, fields and
// the cells of the lists and tables that are shown.
QStringList visibleTexts(QWidget& screen)
{
    QStringList texts;
    const auto shown = [&](QWidget* widget) { return widget->isVisibleTo(&screen); };
    for (auto* label : screen.findChildren<QLabel*>())
        if (shown(label) && !label->text().isEmpty()) texts << label->text();
    for (auto* label : screen.findChildren<ElidedLabel*>())
        if (shown(label) && !label->text().isEmpty()) texts << label->text();
    for (auto* card : screen.findChildren<MetricCard*>())
        if (shown(card)) texts << card->shownValue() << card->shownDetail();
    for (auto* button : screen.findChildren<QAbstractButton*>())
        if (shown(button) && !button->text().isEmpty()) texts << button->text();
    for (auto* field : screen.findChildren<QLineEdit*>())
        if (shown(field) && !field->text().isEmpty()) texts << field->text();
    for (auto* view : screen.findChildren<QAbstractItemView*>()) {
        if (!shown(view) || !view->model()) continue;
        const QAbstractItemModel& model = *view->model();
        const std::function<void(const QModelIndex&, int)> read = [&](const QModelIndex& parent, int depth) {
            for (int row = 0; row < std::min(model.rowCount(parent), 200); ++row)
                for (int column = 0; column < model.columnCount(parent); ++column) {
                    const QModelIndex index = model.index(row, column, parent);
                    const QString text = index.data(Qt::DisplayRole).toString();
                    if (!text.isEmpty()) texts << text;
                    if (column == 0 && depth < 2) read(index, depth + 1);
                }
        };
        read({}, 0);
    }
    return texts;
}

bool shows(QWidget& screen, const QString& text)
{
    for (const QString& seen : visibleTexts(screen))
        if (seen.contains(text)) return true;
    return false;
}

// The Storage screen's donut, beside its table, drawn from the index's categories: what its
// picture must show once the screen's load has come back.
std::string donutFault(QWidget& screen)
{
    int shown = 0;
    for (auto* donut : screen.findChildren<CategoryDonutChart*>()) {
        if (!donut->isVisibleTo(&screen)) continue;
        ++shown;
        if (donut->usages().empty()) return "a donut has no categories yet";
        const QImage picture = donut->grab().toImage();
        const auto geometry = CategoryDonutChart::geometry(QRectF(donut->rect()), 0.62);
        // Halfway through the ring, straight above the centre: the first sector, in its colour.
        const QPoint ring(static_cast<int>(geometry.center.x()),
                          static_cast<int>(geometry.center.y() - (geometry.outerRadius + geometry.innerRadius) / 2));
        if (!picture.rect().contains(ring)) return "a donut has no room";
        if (picture.pixelColor(ring).hsvSaturation() < 60) return "a donut's ring is not drawn";
    }
    return shown ? std::string() : "no donut shown";
}

// Empty when the "PID n" lines shown name, largest first, the processes of the sample
// that use the most memory, whatever else runs on the machine; else what is wrong.
std::string rankingFault(QWidget& screen, const std::vector<ProcessSnapshot>& sample)
{
    static const QRegularExpression pidLine(QStringLiteral("^PID (\\d+)$"));
    std::map<std::int32_t, std::int64_t> memoryOf;
    for (const ProcessSnapshot& process : sample) memoryOf[process.pid] = process.memorySortKey();
    std::vector<std::int64_t> shown;
    std::set<std::int32_t> shownPids;
    for (const QString& text : visibleTexts(screen)) {
        const auto match = pidLine.match(text);
        if (!match.hasMatch()) continue;
        const std::int32_t pid = match.captured(1).toInt();
        if (!memoryOf.contains(pid)) return "PID " + std::to_string(pid) + " is not in the sample";
        shown.push_back(memoryOf[pid]);
        shownPids.insert(pid);
    }
    if (shown.size() != std::min(sample.size(), TopProcessesList::limit))
        return std::to_string(shown.size()) + " processes shown of " + std::to_string(sample.size());
    if (!std::is_sorted(shown.rbegin(), shown.rend())) return "not largest first";
    for (const auto& [pid, memory] : memoryOf)
        if (!shownPids.contains(pid) && !shown.empty() && memory > shown.back())
            return "PID " + std::to_string(pid) + " uses more memory than the last one shown";
    return {};
}

// The first shown text, tooltip or placeholder that names a thing of another system;
// empty when a Linux user meets none.
std::string foreignWord(QWidget& screen)
{
    static const QRegularExpression foreign(QStringLiteral(
        "\\bMac\\b|macOS|Finder|\u2318|\\.app\\b|~/Library|Library folder|Full Disk Access|Apple silicon|\\bIntel\\b|"
        "~/Movies|\\.dmg|ext:mov"));
    QStringList texts = visibleTexts(screen);
    for (auto* widget : screen.findChildren<QWidget*>())
        if (widget->isVisibleTo(&screen)) texts << widget->toolTip();
    for (auto* field : screen.findChildren<QLineEdit*>()) texts << field->placeholderText();
    for (const QString& text : texts)
        if (foreign.match(text).hasMatch()) return text.toStdString();
    return {};
}

// The machine's own application list, as the program reads it.
class WalkThroughTest : public ::testing::Test, protected RecordingModel {
protected:
    WalkThroughTest() : RecordingModel([](const std::string&) { return new ApplicationsStore(); }) {}

    void SetUp() override
    {
        write("Documents/Video/holiday.mov", 3'000'000, 'm');
        write("Downloads/installer.iso", 2'000'000, 'i');
        write("Pictures/beach.jpg", 1'500'000, 'p');
        write("Pictures/Backup/beach.jpg", 1'500'000, 'p');
        write("Projects/site/package.json", 40, 'j');
        write("Projects/site/node_modules/left-pad/index.js", 120'000, 'n');
        write(".cache/com.example.walk/cache.db", 250'000, 'c');
        write(".cache/thumbnails/large/a.png", 90'000, 't');
        std::ofstream(home.write(".local/share/applications/walk-editor.desktop", ""))
            << "[Desktop Entry]\nType=Application\nName=Walk Editor\nExec=/bin/true\n";

        UserDefaults::standard().setValue(SettingsKey::hasSeenWelcome, true);
        model->scan().setRootsProvider([this] { return std::vector<std::string>{home.path()}; });
        app = std::make_unique<KestrelmoorApp>(std::move(model));
    }

    void write(const std::string& relative, std::size_t size, char fill) const
    {
        std::ofstream(home.write(relative, "")) << std::string(size, fill);
    }

    ContentView& window() { return app->mainWindow(); }

    // Opens the window as a person sees it and scans with the toolbar's button.
    bool openAndScan()
    {
        window().resize(1200, 800);
        showActive(window());
        bool started = false;
        app->model().start([&] { started = true; });
        if (!waitUntil([&] { return started; })) return false;
        window().findChild<ScanToolbar*>(QStringLiteral("scanToolbar"))->findChild<QToolButton*>(QStringLiteral("scanButton"))->click();
        return waitUntil([&] { return app->model().scan().task() == nullptr && app->model().scan().dataVersion() >= 1; });
    }

    std::unique_ptr<KestrelmoorApp> app;
};

// A person's walk: scan from the toolbar, then every sidebar row in order. Each
// row must show its own screen with what the scan found, never a stand-in.
TEST_F(WalkThroughTest, EverySidebarRowShowsItsScreenOverARealScan)
{
    ASSERT_TRUE(openAndScan());
    ASSERT_EQ(database->totals().fileCount, 9);

    const auto click = [](const QString& text) {
        return [text](QWidget& screen) {
            for (auto* button : screen.findChildren<QAbstractButton*>())
                if (button->text() == text && button->isVisibleTo(&screen)) return button->click();
            ADD_FAILURE() << "no button " << text.toStdString();
        };
    };
    const QString ownPid = QString::number(QCoreApplication::applicationPid());
    struct Stop {
        QString row;
        const char* screen;
        QStringList shown;
        std::function<void(QWidget&)> act = {};
        // What the screen must show that no fixed text says; empty when it holds.
        std::function<std::string(QWidget&)> fault = {};
    };
    const std::vector<Stop> walk{
        {"Dashboard", "DashboardView", {"holiday.mov", "Photos", "Archives & Disk Images", "3.00 MB"}},
        {"Storage", "StorageView", {"Pictures", "3.01 MB", "Kestrelmoor could read every scanned folder."}, {},
         donutFault},
        {"Largest Files", "LargestFilesView", {"9 files · 8.49 MB", "installer.iso", "~/Documents/Video"}},
        {"Largest Folders", "LargestFoldersView", {home.path().c_str(), "Documents", "Projects"}},
        {"Developer Storage", "DeveloperStorageView", {"site/node_modules", "123 KB"}},
        {"Duplicates", "DuplicateView", {"1 duplicate group", "2 copies · 1.50 MB each", "beach.jpg"}, click("Find Duplicates")},
        {"Cleanup", "CleanupView", {"Application Data"}},
        {"Search", "SearchView", {"installer.iso", "~/Downloads"},
         [this](QWidget&) {
             window().searchField()->setText(QStringLiteral("*.iso"));
             emit window().searchField()->returnPressed();
         }},
        {"Applications", "ApplicationsView", {"Walk Editor"}},
        {"Running Apps", "RunningAppsView", {"kestrel_ui_tests", ownPid},
         [&](QWidget& screen) {
             screen.findChild<QComboBox*>()->setCurrentText(QStringLiteral("All Processes"));
             screen.findChild<QLineEdit*>()->setText(ownPid);
         }},
        {"Memory", "MemoryView", {"Total RAM", "Top Memory Users"}, {},
         [this](QWidget& screen) { return rankingFault(screen, app->model().monitor().processes()); }},
        {"CPU", "CPUView", {"Overall CPU", "Top Processes", "Load Average"}},
        {"Storage Access", "PermissionsView", {"Check Access", "~/.local/share/Trash"}},
        {"Privacy", "PrivacyView", {QString::fromStdString(database->path())}},
        {"Settings", "SettingsView", {"Excluded folders", "Update interval", QString::fromStdString(database->path())}},
    };

    QListWidget& sidebar = *window().sidebarList();
    QStringList visited;
    for (int i = 0; i < sidebar.count(); ++i) {
        QListWidgetItem* row = sidebar.item(i);
        if (row->flags() & Qt::ItemIsSelectable) visited << row->text();
    }
    QStringList planned;
    for (const Stop& stop : walk) planned << stop.row;
    ASSERT_EQ(visited, planned);    // every row, in the sidebar's order

    EXPECT_EQ(foreignWord(window()), "");
    // The footer's promise is read whole in the sidebar's width.
    auto* offline = window().findChild<QToolButton*>(QStringLiteral("offlineButton"));
    ASSERT_NE(offline, nullptr);
    EXPECT_GE(offline->width(), offline->sizeHint().width());
    int shot = 0;
    for (const Stop& stop : walk) {
        SCOPED_TRACE(stop.row.toStdString());
        sidebar.setCurrentItem(sidebar.findItems(stop.row, Qt::MatchExactly).front());
        QWidget* screen = window().currentScreen();
        ASSERT_NE(screen, nullptr);
        EXPECT_STREQ(screen->metaObject()->className(), stop.screen);
        if (stop.act) stop.act(*screen);
        for (const QString& text : stop.shown)
            EXPECT_TRUE(waitUntil([&] { return shows(*screen, text); }))
                << "not shown: " << text.toStdString() << "\nshown: " << visibleTexts(*screen).join(" | ").toStdString();
        std::string foreign;
        EXPECT_TRUE(waitUntil([&] { return (foreign = foreignWord(*screen)).empty(); }))
            << foreign;
        if (stop.fault) {
            std::string fault;
            EXPECT_TRUE(waitUntil([&] { return (fault = stop.fault(*screen)).empty(); }))
                << fault << "\nshown: " << visibleTexts(*screen).join(" | ").toStdString();
        }
        saveScreenshot(window(), QStringLiteral("walk-%1-%2").arg(++shot, 2, 10, QLatin1Char('0')).arg(stop.row));
    }
}

// The removal a person makes from Largest Files: select, Delete, confirm; the file
// lands in this home's Trash and leaves the list.
TEST_F(WalkThroughTest, AFileRemovedFromLargestFilesGoesToTheTrashAndLeavesTheList)
{
    ASSERT_TRUE(openAndScan());

    app->model().setSelection(SidebarItem::largestFiles);
    QWidget& screen = *window().currentScreen();
    QTableView* table = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (auto* view : screen.findChildren<QTableView*>())
            for (int row = 0; row < view->model()->rowCount(); ++row)
                for (int column = 0; column < view->model()->columnCount(); ++column)
                    if (view->model()->index(row, column).data().toString() == "installer.iso") {
                        table = view;
                        table->selectRow(row);
                        return true;
                    }
        return false;
    }));
    showActive(window());
    table->setFocus();
    typeKey(window(), Qt::Key_Delete);
    ASSERT_TRUE(waitUntil([&] { return window().trashSheet() != nullptr; }))
        << "focus " << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none")
        << " alert " << (app->model().alert() ? app->model().alert()->message : std::string("none"));
    auto* move = window().trashSheet()->findChild<QPushButton*>(QStringLiteral("moveButton"));
    ASSERT_TRUE(waitUntil([&] { return move->isEnabled(); }));
    saveScreenshot(*window().trashSheet(), QStringLiteral("walk-trash-sheet"));
    move->click();

    const std::filesystem::path original = std::filesystem::path(home.path()) / "Downloads/installer.iso";
    ASSERT_TRUE(waitUntil([&] { return !std::filesystem::exists(original); }));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(home.path()) / ".local/share/Trash/files/installer.iso"));
    EXPECT_FALSE(app->model().alert().has_value());
    EXPECT_TRUE(waitUntil([&] { return !shows(screen, "installer.iso") && shows(screen, "holiday.mov"); }));
}

} // namespace
