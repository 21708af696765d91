#include "ui/screens/files/LargestFilesView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/FileItemPath.h"
#include "analysis/ReportExporter.h"
#include "support/ScannedTree.h"
#include "app/ScanCoordinator.h"
#include "platform/SavePanel.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/DesktopServicesFactory.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/FileDialogSavePanel.h"
#include "ui/components/FileTable.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"
#include "ui/components/ScanRequiredView.h"
#include "ui/components/SizeBarChart.h"
#include "ui/screens/files/ClosingWhileTyping.h"
#include "ui/screens/files/FileDetailView.h"
#include "ui/screens/frame/DetailRouter.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>
#include <QUrl>

#include "scanning/FinderActions.h"
#include "support/ScopedEnvironment.h"
#include "support/TestHome.h"
#include "support/FileItems.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace {

using Limit = LargestFilesView::Limit;

// The index read of the screen, recording what it is asked and holding the counts it is
// told to hold until they are released.
struct RecordedQuery {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<std::int64_t, std::optional<StorageCategory>>> calls;
    std::set<std::int64_t> held;

    LargestFilesView::Query query()
    {
        return [this](StorageDatabase& database, std::int64_t count, std::optional<StorageCategory> category) {
            {
                std::unique_lock lock(mutex);
                calls.emplace_back(count, category);
                changed.notify_all();
                changed.wait(lock, [&] { return !held.contains(count); });
            }
            return database.largestFiles(count, category, std::nullopt, 0);
        };
    }
    void release(std::int64_t count)
    {
        std::lock_guard lock(mutex);
        held.erase(count);
        changed.notify_all();
    }
    std::size_t callCount()
    {
        std::lock_guard lock(mutex);
        return calls.size();
    }
};

struct ScriptedPanel : SavePanel {
    std::optional<std::string> answer;
    std::optional<std::string> chooseSaveLocation(const std::string&, const std::string&, const std::string&) override
    {
        return answer;
    }
};

// One CSV document split into rows of fields, quoted fields and doubled quotes undone.
std::vector<std::vector<std::string>> parseCSV(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(std::move(field));
            field.clear();
        } else if (c == '\n') {
            rows.back().push_back(std::move(field));
            field.clear();
            rows.emplace_back();
        } else {
            field += c;
        }
    }
    rows.pop_back();
    return rows;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class LargestFilesViewTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override
    {
        // Under the test's home folder, so the removal rules let these files go.
        const struct { const char* path; std::size_t size; } tree[] = {
            {"disk/Movies/holiday.mkv", 900'000}, {"disk/Movies/trailer.mp4", 420'000},
            {"disk/Pictures/beach.jpg", 260'000}, {"disk/Pictures/party, night.jpg", 130'000},
            {"disk/Work/plan \"final\".pdf", 70'000}, {"disk/Work/=cmd.txt", 9'000},
            {"disk/Archive/old.zip", 600'000}, {"disk/Archive/logs.tar.gz", 45'000},
            {"disk/Code/main.cpp", 3'000}, {"disk/Code/notes.md", 1'000},
            {"disk/Music/song.mp3", 350'000}, {"disk/Music/clip.wav", 180'000},
        };
        for (const auto& file : tree)
            home.write(file.path, std::string(file.size, 'k'));
        ScannedTree::scanInto(*model->database(), {home.path() + "/disk"});
        bool changed = false;
        model->scan().dataChanged([&] { changed = true; });
        ASSERT_TRUE(waitUntil([&] { return changed; }));
    }

    // The save panel of `view` answers `path`.
    static void saveAt(LargestFilesView& view, std::string path)
    {
        auto panel = std::make_shared<ScriptedPanel>();
        panel->answer = std::move(path);
        view.setSavePanel(panel);
    }

    // Loads still under way must not outlive the recorded query.
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }

    std::unique_ptr<LargestFilesView> makeView()
    {
        auto view = std::make_unique<LargestFilesView>(*model, nullptr, query.query());
        view->resize(1100, 640);
        view->show();
        return view;
    }

    bool settle(LargestFilesView& view)
    {
        return waitUntil([&] { return !view.isLoading(); });
    }

    RecordedQuery query;
};

} // namespace

TEST(LargestFilesViewRules, CountsTitlesAndChartItems)
{
    ensureApplication();
    const struct { Limit limit; std::int64_t custom; std::int64_t asked; } counts[] = {
        {Limit::top10, 0, 10}, {Limit::top50, 0, 50}, {Limit::top100, 0, 100}, {Limit::top500, 0, 500},
        {Limit::custom, 1000, 1000}, {Limit::custom, 0, 1}, {Limit::custom, -5, 1}, {Limit::custom, 1, 1},
        {Limit::custom, 10000, 10000}, {Limit::custom, 25000, 10000},
    };
    for (const auto& c : counts)
        EXPECT_EQ(LargestFilesView::effectiveCount(c.limit, c.custom), c.asked) << c.custom;

    const struct { std::int64_t from; int steps; std::int64_t to; } steps[] = {
        {1000, 1, 1100}, {1000, -1, 900}, {50, -1, 1}, {9950, 1, 10000}, {25000, -1, 9900}, {-5, 1, 101},
    };
    for (const auto& c : steps)
        EXPECT_EQ(LargestFilesView::steppedCount(c.from, c.steps), c.to) << c.from << " " << c.steps;

    const struct { const char* text; std::optional<std::int64_t> id; } ids[] = {
        {"42", 42}, {"+42", 42}, {"-7", -7}, {"0", 0}, {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN}, {"9223372036854775808", std::nullopt}, {"", std::nullopt},
        {"+", std::nullopt}, {"+-4", std::nullopt}, {"4a", std::nullopt}, {" 4", std::nullopt}, {"0x10", std::nullopt},
    };
    for (const auto& c : ids)
        EXPECT_EQ(LargestFilesView::fileID(c.text), c.id) << c.text;

    EXPECT_EQ(LargestFilesView::navigationTitle(std::nullopt), "Largest Files");
    EXPECT_EQ(LargestFilesView::navigationTitle(StorageCategory::videos), "Largest Files \u2014 Videos");
    const FileItem small = fileAt("/data/file1", {.id = 1, .allocatedSize = 4096});
    const FileItem larger = fileAt("/data/file2", {.id = 2, .allocatedSize = 8192});
    EXPECT_EQ(LargestFilesView::summaryText({small, larger}), "2 files \u00b7 12.3 KB");
    EXPECT_EQ(LargestFilesView::summaryText({}), "0 files \u00b7 0 bytes");
    EXPECT_EQ(LargestFilesView::summaryText({small}), "1 file \u00b7 4.10 KB");

    std::vector<FileItem> many;
    for (std::int64_t id = 1; id <= 500; ++id)
        many.push_back(fileAt("/data/file" + std::to_string(id),
                              {.id = id, .allocatedSize = 1'000'000 - id, .category = StorageCategory::photos}));
    const auto bars = LargestFilesView::chartItems(many);
    ASSERT_EQ(bars.size(), 10u);
    EXPECT_EQ(bars.front(), (SizeBarItem{"1", "file1", 999'999, categoryColor(StorageCategory::photos)}));
    EXPECT_EQ(bars.back().id, "10");
    EXPECT_EQ(LargestFilesView::chartItems({many.begin(), many.begin() + 3}).size(), 3u);

    const std::vector<FileItem> listed{fileAt("/data/file1", {.id = 1, .allocatedSize = 10}),
                                       fileAt("/data/file2", {.id = 2, .allocatedSize = 20})};
    const struct { std::set<std::int64_t> selection; std::optional<std::int64_t> shown; } selections[] = {
        {{2}, 2}, {{}, std::nullopt}, {{1, 2}, std::nullopt}, {{3}, std::nullopt},
    };
    for (const auto& c : selections) {
        const auto file = LargestFilesView::selectedFile(listed, c.selection);
        EXPECT_EQ(file ? std::optional(file->id) : std::nullopt, c.shown);
    }
}

TEST(LargestFilesViewRules, SavePanelOffersOnlyCSV)
{
    ensureApplication();
    std::unique_ptr<QFileDialog> dialog(
        FileDialogSavePanel::makeDialog("Kestrelmoor Largest Files.csv", "CSV document", "csv", nullptr));
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->nameFilters(), QStringList{"CSV document (*.csv)"});
    EXPECT_EQ(dialog->defaultSuffix(), "csv");

    // It opens in Documents, or in the home folder when there is none.
    TestHome home;
    const auto folderShown = [] {
        std::unique_ptr<QFileDialog> panel(FileDialogSavePanel::makeDialog("a.csv", "CSV document", "csv", nullptr));
        return panel->directory().absolutePath().toStdString();
    };
    EXPECT_EQ(folderShown(), home.path());
    std::filesystem::create_directory(home.path() + "/Documents");
    EXPECT_EQ(folderShown(), home.path() + "/Documents");
}

TEST(LargestFilesViewEmpty, AnEmptyIndexAsksForAScan)
{
    RecordingModel support;
    LargestFilesView view(*support.model);
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }));
    EXPECT_TRUE(view.files().empty());
    EXPECT_TRUE(qobject_cast<ScanRequiredView*>(view.currentContent()));
    EXPECT_FALSE(view.findChild<QToolButton*>(QStringLiteral("exportButton"))->isEnabled());

    // The sidebar's row opens this screen.
    std::unique_ptr<QWidget> routed(DetailRouter::makeScreen(SidebarItem::largestFiles, *support.model, nullptr));
    EXPECT_TRUE(qobject_cast<LargestFilesView*>(routed.get()));
}

TEST(LargestFilesViewEmpty, ClosingWhileTheCountIsTypedStartsNoLoad)
{
    RecordingModel support;
    RecordedQuery query;
    auto view = std::make_unique<LargestFilesView>(*support.model, nullptr, query.query());
    view->setLimit(LargestFilesView::Limit::custom);
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }));
    const std::size_t loads = query.callCount();
    QLineEdit* field = view->countField();
    // The field reports its typed count as it loses its focus while the screen goes; a
    // screen that took it then would read its own freed members (the sanitizer build
    // reports that) and start a load for a count of 7.
    destroyWhileTyping(std::move(view), *field, QStringLiteral("7"));
    ASSERT_TRUE(finishBackgroundWork());
    EXPECT_EQ(query.callCount(), loads);
}

TEST_F(LargestFilesViewTest, ListsTheLargestFirstWithRanksAndSummary)
{
    auto view = makeView();
    // While the first load runs, the empty table and the progress indicator show.
    EXPECT_TRUE(view->isLoading());
    EXPECT_EQ(view->currentContent(), view->findChild<QSplitter*>(QStringLiteral("listPane")));
    ASSERT_TRUE(settle(*view));

    EXPECT_EQ(query.calls, (decltype(query.calls){{100, std::nullopt}}));
    const std::vector<FileItem> expected = model->database()->largestFiles(100);
    ASSERT_EQ(view->files().size(), 12u);
    EXPECT_EQ(view->files(), expected);
    EXPECT_EQ(view->files().front().name, "holiday.mkv");
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(view->table()->tableModel()->rankMap().at(expected[i].id), static_cast<int>(i) + 1);
    EXPECT_EQ(view->summaryLabel()->text(), LargestFilesView::summaryText(expected));
    EXPECT_EQ(view->titleLabel()->text(), "Largest Files");
    EXPECT_TRUE(view->findChild<QToolButton*>(QStringLiteral("exportButton"))->isEnabled());
    EXPECT_TRUE(view->findChild<QStackedWidget*>(QStringLiteral("inspector"))->isHidden());
    saveScreenshot(*view, "LargestFilesView");
}

TEST_F(LargestFilesViewTest, TheCategoryFilterLivesInTheModelAndPrunesTheSelection)
{
    auto view = makeView();
    ASSERT_TRUE(settle(*view));
    const auto idOf = [&](const std::string& name) {
        for (const FileItem& file : view->files())
            if (file.name == name)
                return file.id;
        return std::int64_t{-1};
    };
    view->setSelection({idOf("holiday.mkv"), idOf("beach.jpg")});

    QComboBox* picker = view->categoryPicker();
    const int videos = picker->findText("Videos");
    ASSERT_GT(videos, 1);
    picker->setCurrentIndex(videos);
    emit picker->activated(videos);
    EXPECT_EQ(model->largestFilesCategory(), StorageCategory::videos);
    EXPECT_EQ(view->titleLabel()->text(), "Largest Files \u2014 Videos");
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(query.calls.back(), std::make_pair(std::int64_t{100}, std::optional(StorageCategory::videos)));
    ASSERT_EQ(view->files().size(), 2u);
    for (const FileItem& file : view->files())
        EXPECT_EQ(file.category, StorageCategory::videos);
    EXPECT_EQ(view->selection(), std::set<std::int64_t>{view->files().front().id});

    // Another screen sets the filter: the picker and the title follow.
    model->setLargestFilesCategory(StorageCategory::xcode);
    EXPECT_EQ(picker->currentText(), "Xcode");
    ASSERT_TRUE(settle(*view));
    EXPECT_TRUE(view->files().empty());
    EXPECT_TRUE(view->selection().empty());
    auto* noFiles = qobject_cast<EmptyStateView*>(view->currentContent());
    ASSERT_TRUE(noFiles);
    EXPECT_EQ(noFiles->title(), "No files");
    EXPECT_EQ(noFiles->description(), "No files match this filter.");

    picker->setCurrentIndex(0);
    emit picker->activated(0);
    EXPECT_EQ(model->largestFilesCategory(), std::nullopt);
}

TEST_F(LargestFilesViewTest, TheLimitMenuReloadsOnlyWhenTheCountChanges)
{
    auto view = makeView();
    ASSERT_TRUE(settle(*view));

    view->setLimit(Limit::top10);
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(view->files().size(), 10u);
    EXPECT_EQ(query.calls.back().first, 10);

    view->setLimit(Limit::top100);
    ASSERT_TRUE(settle(*view));
    view->setCustomCount(100);
    view->setLimit(Limit::custom);
    EXPECT_FALSE(view->countField()->isHidden());
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(query.callCount(), 3u);

    // Stepping in a burst asks once, for where the steps ended.
    auto* up = view->findChild<QToolButton*>("countStepUp");
    ASSERT_TRUE(up);
    up->click();
    up->click();
    up->click();
    EXPECT_EQ(view->customCount(), 400);
    EXPECT_EQ(view->countField()->text(), "400");
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(query.callCount(), 4u);
    EXPECT_EQ(query.calls.back().first, 400);

    // A typed count is kept as typed and asked for within bounds.
    view->countField()->setText("25,000");
    emit view->countField()->editingFinished();
    EXPECT_EQ(view->customCount(), 25000);
    EXPECT_EQ(view->countField()->text(), "25,000");
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(query.calls.back().first, 10000);
}

TEST_F(LargestFilesViewTest, OnlyTheNewestLoadStoresAndTheIndicatorFollowsIt)
{
    {
        std::lock_guard lock(query.mutex);
        query.held = {100, 10};
    }
    auto view = makeView();
    ASSERT_TRUE(waitUntil([&] { return query.callCount() == 1; }));
    view->setLimit(Limit::top10);
    ASSERT_TRUE(waitUntil([&] { return query.callCount() == 2; }));

    // The older, larger answer arrives first and is dropped; the newer one still runs.
    query.release(100);
    QThreadPool::globalInstance()->waitForDone(200);
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(view->files().empty());
    EXPECT_TRUE(view->isLoading());

    query.release(10);
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(view->files().size(), 10u);
}

TEST_F(LargestFilesViewTest, ExportWritesExactlyTheRowsShown)
{
    auto view = makeView();
    ASSERT_TRUE(settle(*view));
    TempDir out;
    const std::string saved = out.file("largest.csv");
    saveAt(*view, saved);

    view->findChild<QToolButton*>(QStringLiteral("exportButton"))->click();
    const auto rows = parseCSV(readFile(saved));
    ASSERT_EQ(rows.size(), view->files().size() + 1);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Name", "Size on disk (bytes)", "Size on disk", "Type", "Category",
                                                  "Modified", "Created", "Path"}));
    const FileTableModel& shown = *view->table()->tableModel();
    ASSERT_EQ(static_cast<std::size_t>(shown.rowCount()), rows.size() - 1);
    for (int row = 0; row < shown.rowCount(); ++row) {
        const FileItem& file = shown.fileAt(row);
        const auto& fields = rows[static_cast<std::size_t>(row) + 1];
        ASSERT_EQ(fields.size(), 8u);
        // A name that a spreadsheet would run is written with a leading apostrophe.
        EXPECT_EQ(fields[0], file.name.front() == '=' ? "'" + file.name : file.name);
        EXPECT_EQ(fields[1], std::to_string(file.allocatedSize));
        EXPECT_EQ(fields[4], displayName(file.category));
        EXPECT_EQ(fields[7], pathOf(file));
    }
    EXPECT_EQ(desktop->revealed.back(), std::vector<std::string>{saved});
    EXPECT_FALSE(model->alert().has_value());
}

// Where nothing can show the saved file (no file manager, no opener), the export still ends
// without a warning: the user asked to save it, not to see it.
TEST_F(LargestFilesViewTest, ASavedExportEndsQuietlyWhereNothingCanShowIt)
{
    ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrel-test-bus");
    std::vector<std::string> told;
    model->setDesktopServices(makeDesktopServices([&](const std::string& path) { told.push_back(path); },
                                                  [](const QUrl&) { return false; }));
    auto view = makeView();
    ASSERT_TRUE(settle(*view));
    TempDir out;
    const std::string saved = out.file("largest.csv");
    saveAt(*view, saved);

    view->exportCSV();
    EXPECT_EQ(parseCSV(readFile(saved)).size(), view->files().size() + 1);
    EXPECT_TRUE(told.empty());
    EXPECT_FALSE(model->alert().has_value());
    // A show the user asks for still says that nothing could show it.
    FinderActions::reveal({saved}, model->desktop());
    EXPECT_EQ(told, std::vector<std::string>{out.path()});
}

TEST_F(LargestFilesViewTest, AFailedExportExplainsWhy)
{
    auto view = makeView();
    ASSERT_TRUE(settle(*view));
    TempDir out;
    const std::string missing = out.path() + "/missing/largest.csv";
    saveAt(*view, missing);

    view->exportCSV();
    ASSERT_TRUE(model->alert().has_value());
    EXPECT_EQ(model->alert()->title, "The list couldn't be exported");
    EXPECT_EQ(model->alert()->message, "\"" + missing + "\" couldn't be written: No such file or directory.");
    EXPECT_EQ(desktop->beeps, 1);
    EXPECT_TRUE(desktop->revealed.empty());
}

TEST_F(LargestFilesViewTest, ChartAndInspectorFollowTheSelection)
{
    auto view = makeView();
    ASSERT_TRUE(settle(*view));
    EXPECT_TRUE(view->chartPane()->isHidden());
    view->setShowChart(true);
    ASSERT_FALSE(view->chartPane()->isHidden());
    ASSERT_EQ(view->chart()->items().size(), 10u);
    QCoreApplication::processEvents();

    // A click on the third bar selects that file alone and opens the inspector on it.
    SizeBarChart* chart = view->chart();
    const QRectF plot = chart->plotArea();
    const QPointF third(plot.center().x(), plot.top() + 2.5 * plot.height() / 10);
    QMouseEvent release(QEvent::MouseButtonRelease, third, chart->mapToGlobal(third), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(chart, &release);
    const FileItem& chosen = view->files()[2];
    EXPECT_EQ(view->selection(), std::set<std::int64_t>{chosen.id});
    EXPECT_TRUE(view->showsInspector());
    EXPECT_FALSE(view->findChild<QStackedWidget*>(QStringLiteral("inspector"))->isHidden());
    ASSERT_TRUE(view->detailView());
    EXPECT_EQ(view->detailView()->file(), chosen);
    ASSERT_TRUE(waitUntil([&] { return view->detailView()->details().has_value(); }));
    saveScreenshot(*view, "LargestFilesViewChartAndDetails");

    // Removal from the inspector goes through the model's request.
    view->detailView()->trashButton()->click();
    ASSERT_TRUE(waitUntil([&] { return model->trashRequest().has_value(); }));
    EXPECT_EQ(model->trashRequest()->candidates.front().path, pathOf(chosen));

    // Two files: the inspector stays, with nothing to show; none: it still stays.
    view->setSelection({view->files()[0].id, view->files()[1].id});
    EXPECT_TRUE(view->showsInspector());
    EXPECT_EQ(view->detailView(), nullptr);
    view->setSelection({});
    EXPECT_TRUE(view->showsInspector());

    // A new file in the inspector starts without the previous file's facts.
    view->setSelection({view->files()[4].id});
    ASSERT_TRUE(view->detailView());
    EXPECT_EQ(view->detailView()->file(), view->files()[4]);
}

TEST_F(LargestFilesViewTest, OneClickOnDetailsShowsThePanelAndOneHidesIt)
{
    // The detail area of windows 1000 and 1400 pixels wide.
    for (const int width : {800, 1200}) {
        SCOPED_TRACE(width);
        auto view = makeView();
        view->resize(width, 620);
        QCoreApplication::processEvents();
        ASSERT_TRUE(settle(*view));
        QToolButton* details = nullptr;
        for (QToolButton* button : view->findChildren<QToolButton*>())
            if (button->text() == "Details")
                details = button;
        ASSERT_NE(details, nullptr);
        const auto panelShown = [&] {
            QCoreApplication::processEvents();
            return view->findChild<QStackedWidget*>(QStringLiteral("inspector"))->isVisibleTo(view.get()) && view->findChild<QStackedWidget*>(QStringLiteral("inspector"))->width() >= 260;
        };
        const auto click = [&](QWidget* target, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::mouseClick(target, Qt::LeftButton, modifiers, at);
            QCoreApplication::processEvents();
        };

        // Before any selection.
        click(details, details->rect().center());
        EXPECT_TRUE(panelShown());
        EXPECT_TRUE(details->isChecked());
        click(details, details->rect().center());
        EXPECT_FALSE(view->findChild<QStackedWidget*>(QStringLiteral("inspector"))->isVisibleTo(view.get()));
        EXPECT_FALSE(details->isChecked());

        // Selecting one row opens the panel on it; each click then turns it off or on.
        QTableView* table = view->table()->view();
        click(table->viewport(), table->visualRect(table->model()->index(1, FileTableModel::size)).center());
        ASSERT_EQ(view->selection().size(), 1u);
        EXPECT_TRUE(panelShown());
        EXPECT_TRUE(details->isChecked());
        for (int round = 0; round < 3; ++round) {
            click(details, details->rect().center());
            EXPECT_FALSE(view->findChild<QStackedWidget*>(QStringLiteral("inspector"))->isVisibleTo(view.get())) << round;
            EXPECT_EQ(details->isChecked(), view->showsInspector());
            click(details, details->rect().center());
            EXPECT_TRUE(panelShown()) << round;
            EXPECT_TRUE(details->isChecked());
            ASSERT_NE(view->detailView(), nullptr);
        }
        // Another row while it is hidden opens it again; Ctrl+click leaves it as it is.
        click(details, details->rect().center());
        click(table->viewport(), table->visualRect(table->model()->index(2, FileTableModel::size)).center());
        EXPECT_TRUE(panelShown());
        click(table->viewport(), table->visualRect(table->model()->index(2, FileTableModel::size)).center(),
              Qt::ControlModifier);
        EXPECT_TRUE(view->selection().empty());
        EXPECT_TRUE(panelShown());
        EXPECT_EQ(view->detailView(), nullptr);
    }
}

TEST_F(LargestFilesViewTest, ReloadsWhenTheDataChanges)
{
    auto view = makeView();
    ASSERT_TRUE(settle(*view));
    const std::size_t before = query.callCount();
    home.write("disk/Movies/new.mkv", std::string(2'000'000, 'n'));
    ScannedTree::scanInto(*model->database(), {home.path() + "/disk"});
    bool changed = false;
    model->scan().dataChanged([&] { changed = true; });
    ASSERT_TRUE(waitUntil([&] { return changed; }));
    ASSERT_TRUE(settle(*view));
    EXPECT_EQ(query.callCount(), before + 1);
    EXPECT_EQ(view->files().front().name, "new.mkv");
}

namespace {

TEST(LargestFilesViewHardLinks, TheNamesOfOneFileCountItsStorageOnceAndAreMarked)
{
    RecordingModel support;
    // One file of 300 KB under 13 names, beside a plain file of the same size.
    const std::string first = support.home.write("disk/links/shared.bin", std::string(300'000, 's'));
    for (int name = 2; name <= 13; ++name)
        std::filesystem::create_hard_link(first, support.home.path() + "/disk/links/shared-" + std::to_string(name) + ".bin");
    support.home.write("disk/plain.bin", std::string(300'000, 'p'));
    ScannedTree::scanInto(*support.model->database(), {support.home.path() + "/disk"});
    bool changed = false;
    support.model->scan().dataChanged([&] { changed = true; });
    ASSERT_TRUE(waitUntil([&] { return changed; }));

    LargestFilesView view(*support.model);
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading() && view.files().size() == 14; }));
    const std::int64_t one = view.files().front().allocatedSize;
    EXPECT_EQ(LargestFilesView::countedBytes(view.files()), 2 * one);
    EXPECT_EQ(view.summaryLabel()->text(), "14 files \u00b7 " + QString::fromStdString(ByteFormatter::string(2 * one)));

    FileTableModel& rows = *view.table()->tableModel();
    int marked = 0;
    for (int row = 0; row < rows.rowCount(); ++row) {
        const QModelIndex name = rows.index(row, FileTableModel::name);
        const bool linked = rows.fileAt(row).name != "plain.bin";
        EXPECT_EQ(name.data(FileTableModel::hardLinkRole).toBool(), linked) << rows.fileAt(row).name;
        EXPECT_EQ(name.data(Qt::ToolTipRole).toString().contains(FileTableModel::hardLinkNote()), linked);
        marked += linked ? 1 : 0;
    }
    EXPECT_EQ(marked, 13);

    // Two different linked files of one size still count twice.
    std::vector<FileItem> two{view.files()[0], view.files()[0]};
    two[1].id = 99;
    two[1].modified = two[0].modified.value_or(0) + 1;
    EXPECT_EQ(LargestFilesView::countedBytes(two), 2 * one);
}

} // namespace
