#include "ui/screens/files/SearchView.h"

#include "support/ScannedTree.h"
#include "app/ScanCoordinator.h"
#include "ui/components/FileTable.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"
#include "ui/screens/files/SearchHelpView.h"
#include "ui/support/RealKeys.h"
#include "ui/screens/files/FileDetailView.h"
#include "ui/screens/frame/DetailRouter.h"
#include "app/QtText.h"
#include "support/FileItems.h"

#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>

namespace {

enum Page { helpPage, scanRequiredPage, resultsPage };

// A search that answers with one file named after the text, and records each call.
struct FakeSearch {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::string slowText;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> slowEntered{false};
    std::atomic<bool> slowReturned{false};

    // A search still running when the case ends would record into this one gone.
    ~FakeSearch()
    {
        open();
        EXPECT_TRUE(finishBackgroundWork());
    }
    void open()
    {
        if (!opened.exchange(true))
            release.set_value();
    }
    std::atomic<bool> opened{false};

    SearchView::Runner runner()
    {
        return [this](const std::string& text, StorageDatabase*, const std::vector<ApplicationInfo>&) {
            {
                std::lock_guard lock(mutex);
                calls.push_back(text);
            }
            if (text == slowText) {
                slowEntered = true;
                released.wait();
            }
            SearchResults results = SearchView::emptyResults();
            results.files.push_back(fileAt("/data/" + std::string(text), {.id = 1, .allocatedSize = 1000}));
            results.query.nameContains = text;
            if (text == slowText)
                slowReturned = true;
            return results;
        };
    }
    std::vector<std::string> recorded()
    {
        std::lock_guard lock(mutex);
        return calls;
    }
};

// Whether no search waits for the pause or runs: none comes then without new text or data.
bool settled(const SearchView& view)
{
    return view.findChild<QLabel*>(QStringLiteral("summary"))->text() != SearchView::searchingText();
}

class SearchViewTest : public ::testing::Test {
protected:
    AppModel& model() { return *recording.model; }

    void scanTree()
    {
        files.write("disk/Projects/report.bin", 40000);
        files.write("disk/Projects/old/report-1.bin", 12000);
        files.write("disk/Downloads/installer.bin", 90000);
        files.write("disk/Downloads/notes.txt", 3000);
        files.write("disk/Reports/summary.bin", 8000);
        ScannedTree::scanInto(*model().database(), {files.file("disk")});
        bool done = false;
        model().scan().dataChanged([&] { done = true; });
        ASSERT_TRUE(waitUntil([&] { return done; }));
    }

    RecordingModel recording;
    TempDir files;
};

TEST_F(SearchViewTest, TrimsSpacesAndTabsOnly)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  foo ", "foo"}, {"\tfoo bar\t", "foo bar"}, {"\u00a0\u3000x\u2003", "x"}, {"\nfoo\n", "\nfoo\n"}, {"   ", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(SearchView::trimmed(text), expected) << text;
}

TEST_F(SearchViewTest, SummaryTexts)
{
    SearchResults results = SearchView::emptyResults();
    EXPECT_EQ(SearchView::summaryText(results), "0 files, 0 folders, 0 apps");
    EXPECT_EQ(SearchView::durationText(results.duration), "in 0 ms");
    EXPECT_EQ(SearchView::durationText(0.0124), "in 12 ms");
    EXPECT_EQ(SearchView::limitText(results), "");

    for (std::int64_t id = 1; id <= 499; ++id)
        results.files.push_back(fileAt("/data/f", {.id = id, .allocatedSize = 1000 * id}));
    results.folders.resize(2);
    EXPECT_EQ(SearchView::summaryText(results), "499 files, 2 folders, 0 apps");
    SearchResults single = SearchView::emptyResults();
    single.files.push_back(fileAt("/data/f", {.id = 1, .allocatedSize = 1000}));
    single.folders.resize(1);
    single.applications.resize(1);
    EXPECT_EQ(SearchView::summaryText(single), "1 file, 1 folder, 1 app");
    EXPECT_EQ(SearchView::limitText(results), "") << "one below the limit";
    results.files.push_back(fileAt("/data/f", {.id = 500, .allocatedSize = 500'000}));
    EXPECT_EQ(SearchView::limitText(results), "Showing the largest 500 matches");
}

TEST_F(SearchViewTest, FourKeystrokesWithinThePauseMakeOneQuery)
{
    FakeSearch fake;
    SearchView view(model());
    view.setRunner(fake.runner());
    // Typed faster than the pause, whatever the machine's speed: the events of each key are
    // handled, but no time passes for the pause's timer.
    for (const char* text : {"s", "sa", "sav", "save"}) {
        model().setSearchText(text);
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_TRUE(fake.recorded().empty()) << "nothing runs before typing pauses";
    EXPECT_FALSE(settled(view));
    ASSERT_TRUE(waitUntil([&] { return settled(view); }));
    EXPECT_EQ(view.results().query.nameContains, "save");
    EXPECT_EQ(fake.recorded(), std::vector<std::string>{"save"});
    EXPECT_FALSE(view.isSearching());

    // The same text again does not search again; a trailing space or new data does.
    model().setSearchText("save");
    EXPECT_TRUE(settled(view));
    EXPECT_EQ(fake.recorded().size(), 1u);
    model().setSearchText("save ");
    ASSERT_TRUE(waitUntil([&] { return fake.recorded().size() == 2; }));
    EXPECT_EQ(fake.recorded().back(), "save");
}

TEST_F(SearchViewTest, ASlowOldAnswerIsDropped)
{
    FakeSearch fake;
    fake.slowText = "slow";
    SearchView view(model());
    view.setRunner(fake.runner());

    model().setSearchText("slow");
    ASSERT_TRUE(waitUntil([&] { return fake.slowEntered.load(); }));
    EXPECT_TRUE(view.isSearching());
    model().setSearchText("fast");
    ASSERT_TRUE(waitUntil([&] { return view.results().query.nameContains == "fast"; }));
    EXPECT_FALSE(view.isSearching());

    fake.open();
    ASSERT_TRUE(finishBackgroundWork());
    EXPECT_TRUE(fake.slowReturned);
    EXPECT_EQ(view.results().query.nameContains, "fast");
    EXPECT_EQ(view.table()->files().front().name, "fast");
    EXPECT_FALSE(view.isSearching());
}

TEST_F(SearchViewTest, ClearingTheTextShowsTheHelpAndKeepsItWhenTheOldSearchEnds)
{
    FakeSearch fake;
    fake.slowText = "slow";
    SearchView view(model());
    view.setRunner(fake.runner());
    EXPECT_EQ(view.pages()->currentIndex(), helpPage);
    model().setSearchText("slow");
    ASSERT_TRUE(waitUntil([&] { return fake.slowEntered.load(); }));
    model().setSearchText("  ");
    EXPECT_EQ(view.pages()->currentIndex(), helpPage);
    fake.open();
    ASSERT_TRUE(finishBackgroundWork());
    EXPECT_TRUE(fake.slowReturned);
    EXPECT_EQ(view.pages()->currentIndex(), helpPage);
    EXPECT_TRUE(view.results().files.empty());
}

TEST_F(SearchViewTest, StripHoldsApplicationsAndAtMostFortyFolders)
{
    SearchView view(model());
    view.setRunner([](const std::string& text, StorageDatabase*, const std::vector<ApplicationInfo>&) {
        SearchResults results = SearchView::emptyResults();
        const int folders = text == "f" ? 41 : 2;
        for (int i = 0; i < folders; ++i) {
            FolderItem folder;
            folder.id = i + 1;
            folder.name = (text == "f" ? "f" : "Rock & Roll ") + std::to_string(i);
            folder.path = "/data/f" + std::to_string(i);
            results.folders.push_back(folder);
        }
        ApplicationInfo application;
        application.name = text == "f" ? "Chrome" : "Print & Scan";
        application.path = "/opt/Chrome.app";
        results.applications.push_back(application);
        return results;
    });
    std::vector<std::string> writes;
    QObject::connect(&model(), &AppModel::selectedApplicationPathChanged, [&] { writes.push_back("application"); });
    QObject::connect(&model(), &AppModel::largestFoldersFocusChanged, [&] { writes.push_back("focus"); });
    QObject::connect(&model(), &AppModel::selectionChanged, [&] { writes.push_back("selection"); });

    model().setSearchText("f");
    ASSERT_TRUE(waitUntil([&] { return view.results().folders.size() == 41; }));
    // No files indexed, but an application matched: the results show.
    EXPECT_EQ(view.pages()->currentIndex(), resultsPage);
    const auto folders = view.strip()->findChildren<QPushButton*>("folderButton");
    ASSERT_EQ(folders.size(), 40);
    EXPECT_EQ(folders.back()->toolTip(), "/data/f39");
    auto* application = view.strip()->findChild<QPushButton*>("applicationButton");
    ASSERT_NE(application, nullptr);
    application->click();
    EXPECT_EQ(model().selectedApplicationPath(), "/opt/Chrome.app");
    folders.front()->click();
    EXPECT_EQ(model().largestFoldersFocus(), "/data/f0");
    EXPECT_EQ(writes, (std::vector<std::string>{"application", "selection", "focus", "selection"}));

    // A new answer shows in the same buttons; an "&" in a name is shown, not taken as a mnemonic.
    model().setSearchText("print");
    ASSERT_TRUE(waitUntil([&] { return view.results().folders.size() == 2; }));
    EXPECT_EQ(view.strip()->findChild<QPushButton*>("applicationButton"), application);
    EXPECT_EQ(application->text(), "Print && Scan");
    EXPECT_EQ(QKeySequence::mnemonic(application->text()), QKeySequence());
    EXPECT_EQ(folders.front()->text().left(13), "Rock && Roll ");
    int shown = 0;
    for (QPushButton* button : view.strip()->findChildren<QPushButton*>("folderButton"))
        shown += button->isVisibleTo(&view) ? 1 : 0;
    EXPECT_EQ(shown, 2);
}

TEST_F(SearchViewTest, WithoutIndexedFilesOrMatchingAppsTheScanPlaceholderShows)
{
    SearchView view(model());
    view.setRunner([](const std::string&, StorageDatabase*, const std::vector<ApplicationInfo>&) {
        return SearchView::emptyResults();
    });
    model().setSearchText("nothing");
    EXPECT_EQ(view.pages()->currentIndex(), scanRequiredPage);
}

TEST_F(SearchViewTest, SearchesAScannedTreeAndInspectsOneChosenFile)
{
    scanTree();
    SearchView view(model());
    view.resize(900, 560);
    model().setSearchText("report");
    // Until the answer is in, the line says that work is under way, not "0 files … in 0 ms".
    EXPECT_EQ(view.findChild<QLabel*>("summary")->text(), SearchView::searchingText());
    EXPECT_FALSE(view.findChild<QWidget*>("searchingIndicator")->isHidden());
    ASSERT_TRUE(waitUntil([&] { return !view.results().files.empty() && !view.isSearching(); }));
    EXPECT_TRUE(view.findChild<QWidget*>("searchingIndicator")->isHidden());
    EXPECT_EQ(view.pages()->currentIndex(), resultsPage);
    std::vector<std::string> names;
    for (const auto& file : view.table()->files())
        names.push_back(file.name);
    EXPECT_EQ(names, (std::vector<std::string>{"report.bin", "report-1.bin"}));
    EXPECT_EQ(view.strip()->findChildren<QPushButton*>("folderButton").size(), 1);
    EXPECT_EQ(view.findChild<QLabel*>("summary")->text(), "2 files, 1 folder, 0 apps");

    EXPECT_FALSE(view.inspector()->isVisibleTo(&view));
    view.table()->setSelection({view.results().files[0].id});
    EXPECT_TRUE(view.inspector()->isVisibleTo(&view));
    EXPECT_EQ(view.selectedFile()->name, "report.bin");
    view.show();
    QCoreApplication::processEvents();
    saveScreenshot(view, "SearchView");
    view.table()->setSelection({view.results().files[0].id, view.results().files[1].id});
    EXPECT_FALSE(view.inspector()->isVisibleTo(&view));

    // A new answer without the chosen file closes the inspector; the file leaves the selection with its row.
    view.table()->setSelection({view.results().files[1].id});
    model().setSearchText("summary");
    ASSERT_TRUE(waitUntil([&] { return view.results().files.size() == 1; }));
    EXPECT_TRUE(view.table()->selection().empty());
    EXPECT_FALSE(view.inspector()->isVisibleTo(&view));
}

TEST_F(SearchViewTest, HelpListsTheExamplesAndTheyFillTheSearchField)
{
    ensureApplication();
    SearchHelpView help(model());
    const auto buttons = help.findChildren<QPushButton*>("example");
    ASSERT_EQ(buttons.size(), 8);
    EXPECT_EQ(buttons[0]->text(), "*.zip");
    EXPECT_STREQ(SearchHelpView::examples()[0].description, "All ZIP archives");
    model().setSearchText("   ");
    buttons[6]->click();
    EXPECT_EQ(model().searchText(), "kind:folder .git");

    SearchView view(model());
    model().setSearchText("");
    view.resize(760, 480);
    view.show();
    saveScreenshot(view, "SearchHelp");
}

} // namespace

namespace {

TEST_F(SearchViewTest, DeleteTypedInTheSearchFieldNeverRemovesTheChosenFiles)
{
    scanTree();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    QObject::connect(field, &QLineEdit::textChanged, [&](const QString& text) { model().setSearchText(stdstr(text)); });
    layout->addWidget(field);
    auto* view = new SearchView(model(), &window);
    layout->addWidget(view);
    window.resize(800, 500);
    showActive(window);

    field->setFocus();
    for (const QChar c : QStringLiteral("reports"))
        typeKey(window, c.unicode() - 'a' + Qt::Key_A, Qt::NoModifier, QString(c));
    EXPECT_EQ(model().searchText(), "reports");
    typeKey(window, Qt::Key_Backspace);
    ASSERT_TRUE(waitUntil([&] { return view->results().files.size() == 2 && !view->isSearching(); }));
    view->table()->setSelection({view->results().files[0].id});

    field->setFocus();
    typeKey(window, Qt::Key_Home);
    typeKey(window, Qt::Key_Delete);
    EXPECT_EQ(model().searchText(), "eport");
    // A removal asked for would be judged on the shared pool and answer from there.
    ASSERT_TRUE(finishBackgroundWork());
    EXPECT_FALSE(model().trashRequest().has_value());
    EXPECT_FALSE(model().alert().has_value());

    // The same key in the table asks to remove the chosen file.
    view->table()->view()->setFocus();
    typeKey(window, Qt::Key_Delete);
    ASSERT_TRUE(waitUntil([&] { return model().trashRequest().has_value() || model().alert().has_value(); }));
}

} // namespace

namespace {

TEST_F(SearchViewTest, TheRoutedScreenShowsTheFileDetailPanelForTheChosenFile)
{
    scanTree();
    QWidget window;
    auto* view = qobject_cast<SearchView*>(DetailRouter::makeScreen(SidebarItem::search, model(), &window));
    ASSERT_NE(view, nullptr);
    model().setSearchText("report");
    ASSERT_TRUE(waitUntil([&] { return !view->results().files.empty() && !view->isSearching(); }));
    view->table()->setSelection({view->results().files[0].id});
    EXPECT_NE(view->inspector()->findChild<FileDetailView*>(), nullptr);
    window.resize(980, 600);
    view->resize(980, 600);
    window.show();
    letEventsRun(std::chrono::milliseconds(300));
    saveScreenshot(*view, "SearchViewWithDetails");
}

} // namespace
