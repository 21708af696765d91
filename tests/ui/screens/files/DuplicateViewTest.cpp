#include "ui/screens/files/DuplicateView.h"

#include "analysis/CancellationError.h"
#include "analysis/DuplicateScanner.h"
#include "analysis/FileItemPath.h"
#include "support/FileItems.h"
#include "support/ScannedTree.h"
#include "support/RecordingTrasher.h"
#include "app/ScanCoordinator.h"
#include "ui/components/EmptyStateView.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"
#include "ui/components/ScanRequiredView.h"
#include "support/ScopedEnvironment.h"
#include "ui/screens/files/DuplicateListModel.h"
#include "ui/screens/files/DuplicateRowDelegate.h"
#include "ui/screens/files/ClosingWhileTyping.h"
#include "ui/support/LayoutCheck.h"
#include "ui/screens/frame/DetailRouter.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <thread>

namespace {

using Outcome = DuplicateView::Outcome;

class DuplicateViewTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override
    {
        // Three copies of one content, two of another, and files that match nothing.
        triple = {home.write("disk/Movies/clip.mov", std::string(6'000, 'a')),
                  home.write("disk/Backup/clip.mov", std::string(6'000, 'a')),
                  home.write("disk/Old/clip copy.mov", std::string(6'000, 'a'))};
        pair = {home.write("disk/Docs/report.pdf", std::string(9'000, 'b')),
                home.write("disk/Mail/report.pdf", std::string(9'000, 'b'))};
        home.write("disk/Docs/other.pdf", std::string(9'000, 'c'));
        home.write("disk/Docs/small.txt", std::string(200, 'a'));
        ScannedTree::scanInto(*model->database(), {home.path() + "/disk"});
        bool changed = false;
        model->scan().dataChanged([&] { changed = true; });
        ASSERT_TRUE(waitUntil([&] { return changed; }));
        trasher = std::make_shared<RecordingTrasher>();
        model->setFileTrasher(trasher);
    }

    void TearDown() override { EXPECT_TRUE(finishBackgroundWork()); }

    std::unique_ptr<DuplicateView> makeView(DuplicateView::Search search = {})
    {
        auto view = std::make_unique<DuplicateView>(*model, nullptr, std::move(search));
        view->resize(900, 600);
        view->show();
        view->setMinimumSizeMB(0.001);
        return view;
    }

    bool search(DuplicateView& view)
    {
        view.start();
        return waitUntil([&] { return !view.isSearching(); });
    }

    static QListView* list(DuplicateView& view) { return view.findChild<QListView*>(QStringLiteral("duplicateList")); }
    static QModelIndex indexOf(DuplicateView& view, const std::string& path)
    {
        return view.listModel()->index(view.listModel()->rowOf(path), 0);
    }
    static bool listed(DuplicateView& view, const std::string& path) { return indexOf(view, path).isValid(); }
    static bool tickEnabled(DuplicateView& view, const std::string& path)
    {
        return indexOf(view, path).data(DuplicateListModel::tickEnabledRole).toBool();
    }
    static bool ticked(DuplicateView& view, const std::string& path)
    {
        return indexOf(view, path).data(DuplicateListModel::tickedRole).toBool();
    }
    static int fileRows(DuplicateView& view)
    {
        int count = 0;
        for (int row = 0; row < view.listModel()->rowCount(); ++row)
            count += view.listModel()->file(row) != nullptr;
        return count;
    }
    static QString summary(DuplicateView& view)
    {
        return view.listModel()->index(0, 0).data().toString();
    }
    // Clicks the copy's tick box as the user does.
    static void clickTick(DuplicateView& view, const std::string& path)
    {
        const QModelIndex index = indexOf(view, path);
        ASSERT_TRUE(index.isValid()) << path;
        QWidget* viewport = list(view)->viewport();
        const QPointF at = DuplicateRowDelegate::checkRect(list(view)->visualRect(index)).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(viewport, &release);
    }

    // Ticks through the row's box, as the user does, then sends the ticked copies to the Trash.
    void trashThroughFooter(DuplicateView& view, const std::vector<std::string>& paths)
    {
        for (const std::string& path : paths)
            clickTick(view, path);
        bool pruned = false;
        auto connection = QObject::connect(&view, &DuplicateView::groupsPruned, [&] { pruned = true; });
        view.trashButton()->click();
        ASSERT_TRUE(waitUntil([&] { return model->trashRequest().has_value(); }));
        // Confirming closes the request, so it is handed over as a copy.
        const TrashRequest request = *model->trashRequest();
        model->confirmTrash(request);
        ASSERT_TRUE(waitUntil([&] { return pruned; }));
        QObject::disconnect(connection);
    }

    std::vector<std::string> triple;
    std::vector<std::string> pair;
    std::shared_ptr<RecordingTrasher> trasher;
};

} // namespace

TEST(DuplicateViewRules, MegabytesBecomeBytesWithinBounds)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    const struct { double megabytes; std::int64_t bytes; } cases[] = {
        {1.0, 1'000'000}, {2.5, 2'500'000}, {0.5, 500'000}, {0.001, 1'000}, {0.0015, 1'500},
        {0.0009, 1'000}, {0.0, 1'000}, {-5.0, 1'000}, {-inf, 1'000}, {nan, 1'000},
        {1e12, 1'000'000'000'000'000'000},
        // The largest product below 2^63 that a double holds, then the first one beyond.
        {9'223'372'036'854.0, 9'223'372'036'853'999'616}, {9'223'372'036'855.0, largest},
        {1e30, largest}, {inf, largest}, {std::numeric_limits<double>::max(), largest},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DuplicateView::minimumSizeBytes(c.megabytes), c.bytes) << c.megabytes;
}

TEST(DuplicateViewRules, OptionsTextsAndSavings)
{
    TestHome home;
    const std::string h = home.path();
    const DuplicateScanOptions defaults;
    const DuplicateScanOptions off = DuplicateView::searchOptions(0.5, false, h);
    EXPECT_EQ(off.minimumSize, 500'000);
    EXPECT_EQ(off.excluded, defaults.excluded);
    EXPECT_EQ(off.scope, defaults.scope);
    EXPECT_EQ(off.maxSizeGroups, defaults.maxSizeGroups);
    EXPECT_EQ(off.partialHashBytes, defaults.partialHashBytes);
    // Off, the app data folders stay out: ~/Library and the data, config and cache folders
    // where the environment puts them.
    ScopedEnvironment data("XDG_DATA_HOME", h + "/.local/share");
    ScopedEnvironment config("XDG_CONFIG_HOME", h + "/settings");
    ScopedEnvironment cache("XDG_CACHE_HOME", "relative/cache");   // not absolute: ignored
    const std::vector<std::string> appData{h + "/Library", h + "/.local/share", h + "/settings", h + "/.cache"};
    const DuplicateScanOptions dataOff = DuplicateView::searchOptions(1.0, false, h);
    for (const std::string& folder : appData)
        EXPECT_EQ(std::count(dataOff.excluded.begin(), dataOff.excluded.end(), folder), 1) << folder;
    // On, they are searched; the Trash folders stay out.
    const DuplicateScanOptions on = DuplicateView::searchOptions(1.0, true, h);
    for (const std::string& folder : appData)
        EXPECT_EQ(std::count(on.excluded.begin(), on.excluded.end(), folder), 0) << folder;
    EXPECT_EQ(on.excluded, (std::vector<std::string>{h + "/.Trash", h + "/.local/share/Trash"}));

    const DuplicateGroup three{"h3", 1'000'000,
                               {fileAt("/a/x", {.id = 1}), fileAt("/b/x", {.id = 2}), fileAt("/c/x", {.id = 3})}};
    const DuplicateGroup two{"h2", 4'096, {fileAt("/a/y", {.id = 4}), fileAt("/b/y", {.id = 5})}};
    const DuplicateGroup none{"h0", 500, {}};
    EXPECT_EQ(DuplicateView::totalSavings({three, two, none}), 2'004'096);
    EXPECT_EQ(DuplicateView::groupHeading(three), "3 copies \u00b7 1.00 MB each");
    EXPECT_EQ(DuplicateView::groupTotals(three), "Total: 3.00 MB \u00b7 Potential savings: 2.00 MB");
    EXPECT_EQ(DuplicateView::groupTotals(none), "Total: 0 bytes \u00b7 Potential savings: 0 bytes");
    EXPECT_EQ(DuplicateView::summaryText(1), "1 duplicate group");
    EXPECT_EQ(DuplicateView::trashButtonTitle(0), "Move 0 Selected to Trash\u2026");
    EXPECT_EQ(DuplicateView::duplicateNote(1), "Duplicate of 1 other copy");
    EXPECT_EQ(DuplicateView::duplicateNote(2), "Duplicate of 2 other copies");

    // Only a search that finished may say that nothing was found.
    const struct { Outcome outcome; const char* failure; const char* title; const char* description; } empties[] = {
        {Outcome::notRun, "", "Find duplicate files", nullptr},
        {Outcome::finished, "", "No duplicates found", nullptr},
        {Outcome::stopped, "", "The search did not finish", "The duplicate search was stopped before it finished."},
        {Outcome::failed, "disk I/O error", "The search did not finish", "The duplicate search failed: disk I/O error"},
    };
    for (const auto& c : empties) {
        const auto text = DuplicateView::emptyText(c.outcome, c.failure);
        EXPECT_EQ(text.title, c.title);
        if (c.description)
            EXPECT_EQ(text.description, c.description);
        else
            EXPECT_TRUE(text.description.startsWith("Files are compared by size"));
    }
}

TEST(DuplicateViewRules, TicksNeverTakeTheLastCopyNorAProtectedOne)
{
    TestHome home;
    const std::string h = home.path();
    const DuplicateGroup three{"h", 10,
                               {fileAt(h + "/a", {.id = 1}), fileAt(h + "/b/a", {.id = 2}), fileAt("/a", {.id = 3})}};
    const DuplicateGroup two{"g", 10, {fileAt(h + "/c", {.id = 4}), fileAt(h + "/d/c", {.id = 5})}};
    const DuplicateGroup guarded{
        "p", 10, {fileAt(h + "/e", {.id = 6}), fileAt("/System/Library/e", {.id = 7}), fileAt(h + "/f", {.id = 8})}};
    // The program's own folder, as found once.
    const std::vector<std::string> ownPaths{h + "/.local/share/Kestrelmoor"};
    const DuplicateGroup owned{
        "o", 10, {fileAt(ownPaths[0] + "/g", {.id = 9}), fileAt(h + "/g", {.id = 10}), fileAt(h + "/x/g", {.id = 11})}};
    const std::string a1 = h + "/a", a2 = h + "/b/a", a3 = "/a", c1 = h + "/c", c2 = h + "/d/c";
    // Each refusal says why: the tick is never simply unavailable.
    const QString last = QString::fromUtf8(DuplicateView::lastCopyText);
    const QString system = QStringLiteral("Protected by the system: items in /System are part of the operating system.");
    const QString own = QStringLiteral("Kestrelmoor does not modify its own application or database files.");
    const struct { const FileItem& file; const DuplicateGroup& group; std::set<std::string> ticked; QString refusal; } cases[] = {
        {three.files[0], three, {}, ""},
        {three.files[1], three, {a1}, ""},
        {three.files[2], three, {a1, a2}, last},   // the last copy
        {three.files[0], three, {a1, a2}, ""},     // a tick can always go off
        {two.files[1], two, {c1}, last},
        {two.files[0], two, {c1}, ""},
        {two.files[1], two, {a1, a2}, ""},         // ticks of another group do not count
        {guarded.files[1], guarded, {}, system},   // protected
        {guarded.files[0], guarded, {}, ""},
        {owned.files[0], owned, {}, own},          // the program's own
        {owned.files[1], owned, {}, ""},
    };
    const std::map<std::string, std::string> judged = DuplicateView::protectedCopies({three, two, guarded, owned}, h, ownPaths);
    ASSERT_EQ(judged.size(), 2u);
    EXPECT_TRUE(judged.contains("/System/Library/e"));
    EXPECT_TRUE(judged.contains(ownPaths[0] + "/g"));
    for (const auto& c : cases) {
        EXPECT_EQ(DuplicateView::tickRefusal(c.file, c.group, c.ticked, judged), c.refusal) << pathOf(c.file);
        EXPECT_EQ(DuplicateView::canSelect(c.file, c.group, c.ticked, judged), c.refusal.isEmpty()) << pathOf(c.file);
    }

    // A file in the root folder is "/name".
    EXPECT_EQ(pathOf(three.files[2]), "/a");

    const auto candidates = DuplicateView::trashCandidates({three, two}, {a2, a1, c1, c2});
    ASSERT_EQ(candidates.size(), 2u);  // the pair is ticked throughout and offers nothing
    // In the measure the screen shows each copy in (the group's size), not each file's allocation.
    EXPECT_EQ(candidates[0],
              (TrashCandidate{.path = a1, .name = "a", .size = 10, .note = "Duplicate of 2 other copies"}));
    EXPECT_EQ(candidates[1].path, a2);

    // Gone files leave; a group left with one copy leaves; ticks follow, never covering a whole group.
    const auto kept = DuplicateView::withoutGone({three, two}, {a3, c2});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].files.size(), 2u);
    EXPECT_EQ(kept[0].size, 10);
    EXPECT_EQ(DuplicateView::prunedSelection(kept, {a1, c1, "/elsewhere"}), (std::set<std::string>{a1}));
    EXPECT_EQ(DuplicateView::prunedSelection(kept, {a1, a2}), std::set<std::string>{});
}

TEST(DuplicateViewRules, TheTickBoxSitsAtTheLeadingInsetCentredInItsRow)
{
    const struct { QRect row; QRect box; } cases[] = {
        {{0, 0, 400, 38}, {16, 11, 16, 16}}, {{0, 100, 400, 27}, {16, 105, 16, 16}},
        {{10, 5, 50, 16}, {26, 5, 16, 16}}, {{0, 0, 400, 10}, {16, -3, 16, 16}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DuplicateRowDelegate::checkRect(c.row), c.box) << c.row.y() << " " << c.row.height();
}

TEST(DuplicateViewEmpty, AnEmptyIndexAsksForAScanAndTheSidebarOpensTheScreen)
{
    RecordingModel support;
    DuplicateView view(*support.model);
    EXPECT_TRUE(qobject_cast<ScanRequiredView*>(view.currentContent()));
    EXPECT_FALSE(view.findChild<QPushButton*>(QStringLiteral("findButton"))->isEnabled());
    std::unique_ptr<QWidget> routed(DetailRouter::makeScreen(SidebarItem::duplicates, *support.model, nullptr));
    EXPECT_TRUE(qobject_cast<DuplicateView*>(routed.get()));
}

TEST(DuplicateViewEmpty, ClosingWhileTheSizeIsTypedTouchesNothingGone)
{
    RecordingModel support;
    auto view = std::make_unique<DuplicateView>(*support.model);
    QLineEdit* field = view->findChild<QLineEdit*>(QStringLiteral("minimumSizeField"));
    ASSERT_NE(field, nullptr);
    destroyWhileTyping(std::move(view), *field, QStringLiteral("5"));
}

TEST_F(DuplicateViewTest, GroupsAreThoseTheEngineFinds)
{
    auto view = makeView();
    EXPECT_EQ(view->emptyState()->title(), "Find duplicate files");
    ASSERT_TRUE(search(*view));
    EXPECT_EQ(view->outcome(), Outcome::finished);

    DuplicateScanner scanner(*model->database());
    scanner.options = DuplicateView::searchOptions(0.001, false, home.path());
    const auto expected = scanner.findDuplicates(nullptr);
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(view->groups(), expected);
    EXPECT_EQ(view->currentContent(), view->findChild<QWidget*>(QStringLiteral("results")));
    EXPECT_EQ(fileRows(*view), 5);
    EXPECT_EQ(summary(*view), "2 duplicate groups");
    EXPECT_EQ(view->progress().stage, "Done");
    EXPECT_FALSE(view->trashButton()->isEnabled());

    // A double click reveals that copy; group headers reveal nothing.
    emit list(*view)->doubleClicked(indexOf(*view, pair[1]));
    emit list(*view)->doubleClicked(view->listModel()->index(1, 0));
    EXPECT_EQ(desktop->revealed, std::vector<std::vector<std::string>>{{pair[1]}});

    // The minimum size is honoured: above 6 KB only the pair remains.
    view->setMinimumSizeMB(0.007);
    ASSERT_TRUE(search(*view));
    ASSERT_EQ(view->groups().size(), 1u);
    EXPECT_EQ(view->groups()[0].size, 9'000);

    saveScreenshot(*view, "DuplicateView-Results");
}

TEST_F(DuplicateViewTest, TicksAndPrunesUpdateRowsInPlace)
{
    auto view = makeView();
    QAbstractItemModelTester tester(view->listModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_TRUE(search(*view));
    int resets = 0;
    QObject::connect(view->listModel(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    const QPersistentModelIndex held = indexOf(*view, triple[2]);
    const QPersistentModelIndex pairRow = indexOf(*view, pair[1]);
    ASSERT_TRUE(held.isValid());

    // A tick redraws the rows it touches and leaves every row where it was.
    std::vector<int> changedRows;
    QObject::connect(view->listModel(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         for (int row = from.row(); row <= to.row(); ++row)
                             changedRows.push_back(row);
                     });
    clickTick(*view, triple[0]);
    EXPECT_TRUE(ticked(*view, triple[0]));
    EXPECT_FALSE(changedRows.empty());
    for (int row : changedRows)
        EXPECT_NE(view->listModel()->kind(row), DuplicateListModel::Kind::header) << row;
    EXPECT_EQ(view->listModel()->file(held.row())->name, "clip copy.mov");

    // A copy gone from disk leaves with its row; the rows of the other group stay.
    std::filesystem::remove(triple[1]);
    model->scan().dataChanged();
    ASSERT_TRUE(waitUntil([&] { return !listed(*view, triple[1]); }));
    ASSERT_TRUE(pairRow.isValid());
    EXPECT_EQ(pathOf(*view->listModel()->file(pairRow.row())), pair[1]);
    EXPECT_TRUE(held.isValid());
    EXPECT_EQ(resets, 0);
}

TEST_F(DuplicateViewTest, NothingIsCutFromTheSmallestWindowToTheLargest)
{
    // In the window the screen gets the detail area's size, whatever it would like.
    QWidget window;
    auto view = makeView();
    view->setParent(&window);
    window.show();
    ASSERT_TRUE(search(*view));
    // The detail area of a window of 720x480, 1000x660, 1440x900 and 1920x1080.
    for (const QSize size : {QSize(520, 420), QSize(800, 560), QSize(1240, 840), QSize(1720, 1020)}) {
        window.resize(size);
        view->setGeometry(0, 0, size.width(), size.height());
        QCoreApplication::processEvents();
        SCOPED_TRACE(size.width());
        EXPECT_EQ(cutWidgets(*view), "");
    }
    window.resize(520, 420);
    view->setGeometry(0, 0, 520, 420);
    QCoreApplication::processEvents();
    saveScreenshot(*view, "DuplicateView-720x480");
}

TEST_F(DuplicateViewTest, TwoOfThreeCopiesTrashedInTurnLeaveTheLastOne)
{
    auto view = makeView();
    ASSERT_TRUE(search(*view));
    const auto& first = view->groups();
    const auto tripleGroup = std::find_if(first.begin(), first.end(), [](auto& g) { return g.files.size() == 3; });
    ASSERT_NE(tripleGroup, first.end());
    std::vector<std::string> copies;
    for (const FileItem& file : tripleGroup->files)
        copies.push_back(pathOf(file));

    // Two ticks disable the third box.
    clickTick(*view, copies[0]);
    clickTick(*view, copies[1]);
    EXPECT_FALSE(tickEnabled(*view, copies[2]));
    EXPECT_EQ(indexOf(*view, copies[2]).data(Qt::ToolTipRole).toString(), DuplicateView::lastCopyText);
    EXPECT_TRUE(ticked(*view, copies[1]));
    saveScreenshot(*view, "DuplicateView-Ticked");
    view->setSelected(copies[2], true);
    EXPECT_EQ(view->selectedPaths(), (std::set<std::string>{copies[0], copies[1]}));
    clickTick(*view, copies[1]);
    EXPECT_TRUE(tickEnabled(*view, copies[2]));
    clickTick(*view, copies[0]);

    // First removal: one copy goes; the list drops it.
    trashThroughFooter(*view, {copies[0]});
    EXPECT_EQ(trasher->movedSoFar(), std::vector<std::string>{copies[0]});
    EXPECT_TRUE(view->selectedPaths().empty());
    ASSERT_EQ(view->groups().size(), 2u);
    EXPECT_EQ(fileRows(*view), 4);
    EXPECT_FALSE(listed(*view, copies[0]));

    // Of the two left, ticking one disables the other: the last copy is never offered.
    clickTick(*view, copies[1]);
    EXPECT_FALSE(tickEnabled(*view, copies[2]));
    saveScreenshot(*view, "DuplicateView-AfterFirstRemoval");
    view->setSelected(copies[2], true);
    EXPECT_EQ(view->selectedPaths(), std::set<std::string>{copies[1]});
    clickTick(*view, copies[1]);
    trashThroughFooter(*view, {copies[1]});
    EXPECT_EQ(trasher->movedSoFar(), (std::vector<std::string>{copies[0], copies[1]}));

    // The group is gone with its last copy kept on disk.
    ASSERT_EQ(view->groups().size(), 1u);
    EXPECT_EQ(view->groups()[0].files.size(), 2u);
    EXPECT_FALSE(listed(*view, copies[2]));
    EXPECT_TRUE(std::filesystem::exists(copies[2]));
    EXPECT_EQ(summary(*view), "1 duplicate group");
}

TEST_F(DuplicateViewTest, ACopyRemovedElsewhereTakesItsTicksAlong)
{
    auto view = makeView();
    ASSERT_TRUE(search(*view));
    // Both copies of the pair ticked would leave nothing, so only one may be.
    view->setSelected(pair[0], true);
    view->setSelected(pair[1], true);
    EXPECT_EQ(view->selectedPaths(), std::set<std::string>{pair[0]});

    // The other copy disappears behind the screen's back; the next data change drops the group and its tick.
    std::filesystem::remove(pair[1]);
    bool pruned = false;
    QObject::connect(view.get(), &DuplicateView::groupsPruned, [&] { pruned = true; });
    model->scan().dataChanged();
    ASSERT_TRUE(waitUntil([&] { return pruned; }));
    EXPECT_EQ(view->groups().size(), 1u);
    EXPECT_TRUE(view->selectedPaths().empty());
    EXPECT_EQ(view->trashButton()->text(), "Move 0 Selected to Trash\u2026");
    view->trashSelected();
    EXPECT_FALSE(model->trashRequest().has_value());
}

TEST_F(DuplicateViewTest, AFailedSearchSaysWhy)
{
    auto view = makeView([](StorageDatabase&, const DuplicateScanOptions&, const DuplicateView::Progress& progress,
                            std::stop_token) -> std::vector<DuplicateGroup> {
        progress({"Finding files with identical sizes\u2026", 0, 0, 0, 0});
        throw std::runtime_error("database disk image is malformed");
    });
    ASSERT_TRUE(search(*view));
    EXPECT_EQ(view->outcome(), Outcome::failed);
    EXPECT_TRUE(view->groups().empty());
    EXPECT_EQ(view->currentContent(), view->emptyState());
    EXPECT_EQ(view->emptyState()->title(), "The search did not finish");
    EXPECT_EQ(view->emptyState()->description(), "The duplicate search failed: database disk image is malformed");
    EXPECT_TRUE(view->findChild<QPushButton*>(QStringLiteral("findButton"))->isVisible());
    saveScreenshot(*view, "DuplicateView-Failed");
}

TEST_F(DuplicateViewTest, ProgressShowsWhileRunningAndStopSaysTheSearchDidNotFinish)
{
    std::atomic<bool> stopped = false;
    std::atomic<int> reported = 0;
    auto view = makeView([&](StorageDatabase&, const DuplicateScanOptions&, const DuplicateView::Progress& progress,
                             std::stop_token stop) -> std::vector<DuplicateGroup> {
        for (int checked = 0; !stop.stop_requested(); ++checked) {
            if (checked < 3) {
                progress({"Comparing 6 KB files\u2026", checked, 4, 1'000 * checked, 0});
                ++reported;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stopped = true;
        throw CancellationError();
    });
    view->start();
    EXPECT_TRUE(view->isSearching());
    ASSERT_TRUE(waitUntil([&] { return view->progress().candidatesChecked == 2; }));
    EXPECT_TRUE(view->findChild<QProgressBar*>(QStringLiteral("progressBar"))->isVisible());
    EXPECT_EQ(view->findChild<QProgressBar*>(QStringLiteral("progressBar"))->maximum(), 4);
    EXPECT_EQ(view->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 2);
    EXPECT_EQ(view->stageLabel()->text(), "Comparing 6 KB files\u2026");
    EXPECT_TRUE(view->findChild<QPushButton*>(QStringLiteral("stopButton"))->isVisible());
    EXPECT_FALSE(view->findChild<QPushButton*>(QStringLiteral("findButton"))->isVisible());
    saveScreenshot(*view, "DuplicateView-Running");

    view->findChild<QPushButton*>(QStringLiteral("stopButton"))->click();
    EXPECT_FALSE(view->isSearching());
    EXPECT_EQ(view->outcome(), Outcome::stopped);
    EXPECT_EQ(view->emptyState()->title(), "The search did not finish");
    EXPECT_EQ(view->emptyState()->description(), "The duplicate search was stopped before it finished.");
    EXPECT_TRUE(waitUntil([&] { return stopped.load(); }));
    saveScreenshot(*view, "DuplicateView-Stopped");
}

TEST_F(DuplicateViewTest, LeavingTheScreenStopsTheSearch)
{
    std::atomic<bool> stopped = false;
    auto view = makeView([&](StorageDatabase&, const DuplicateScanOptions&, const DuplicateView::Progress& progress,
                             std::stop_token stop) -> std::vector<DuplicateGroup> {
        while (!stop.stop_requested()) {
            progress({"Comparing 6 KB files\u2026", 1, 4, 0, 0});
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stopped = true;
        throw CancellationError();
    });
    view->start();
    ASSERT_TRUE(waitUntil([&] { return view->progress().candidatesChecked == 1; }));
    view.reset();
    EXPECT_TRUE(waitUntil([&] { return stopped.load(); }));
    // Reports still queued for the destroyed screen go nowhere.
    QCoreApplication::processEvents();
}

TEST_F(DuplicateViewTest, TheSizeFieldReadsTheLocaleAndKeepsItsValueOnNonsense)
{
    auto view = makeView();
    view->minimumSizeField()->setText("2.5");
    emit view->minimumSizeField()->editingFinished();
    EXPECT_DOUBLE_EQ(view->minimumSizeMB(), 2.5);
    view->minimumSizeField()->setText("lots");
    emit view->minimumSizeField()->editingFinished();
    EXPECT_DOUBLE_EQ(view->minimumSizeMB(), 2.5);
    EXPECT_EQ(view->minimumSizeField()->text(), "2.5");
    view->findChild<QCheckBox*>(QStringLiteral("libraryToggle"))->click();
    EXPECT_TRUE(view->includesLibrary());
}
