#include "ui/components/FileTable.h"

#include "analysis/FileItemPath.h"
#include "support/ScannedTree.h"
#include "support/TestHome.h"
#include "ui/components/FileContextMenu.h"
#include "ui/components/FileTableDelegate.h"
#include "ui/components/LocaleText.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"
#include "support/FileItems.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <QMouseEvent>
#include <QTableView>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using Column = FileTableModel::Column;
using SortOrder = FileTableModel::SortOrder;

// A list in the screen's order, with ties in size, extensions differing in case only,
// numbers inside names and missing dates.
const std::vector<FileItem>& sample()
{
    static const std::vector<FileItem> files{
        fileAt("/data/1/b.jpg", {.id = 1, .size = 100, .allocatedSize = 100, .modified = 10, .category = StorageCategory::photos}),
        fileAt("/data/2/A.JPG", {.id = 2, .fileExtension = "JPG", .size = 100, .allocatedSize = 100, .category = StorageCategory::documents}),
        fileAt("/data/3/readme", {.id = 3, .size = 300, .allocatedSize = 300, .modified = 5, .category = StorageCategory::archives}),
        fileAt("/data/4/a10.txt", {.id = 4, .size = 50, .allocatedSize = 50, .modified = 20, .category = StorageCategory::documents}),
        fileAt("/data/5/a9.txt", {.id = 5, .size = 100, .allocatedSize = 100}),
    };
    return files;
}

std::vector<std::int64_t> idsInOrder(const std::vector<FileItem>& files, const std::vector<int>& rows)
{
    std::vector<std::int64_t> ids;
    for (int row : rows)
        ids.push_back(files[static_cast<std::size_t>(row)].id);
    return ids;
}

} // namespace

TEST(FileTableModel, SortsStablyByEachKeyInTurn)
{
    ensureApplication();
    struct Case {
        const char* what;
        SortOrder order;
        std::vector<std::int64_t> expected;
    };
    const std::vector<Case> cases{
        {"size, largest first; ties keep the screen's order", {{Column::size, false}}, {3, 1, 2, 5, 4}},
        {"size, smallest first", {{Column::size, true}}, {4, 1, 2, 5, 3}},
        {"type: jpg and JPG apart, no extension last", {{Column::type, true}}, {2, 1, 4, 5, 3}},
        {"type descending: no extension first", {{Column::type, false}}, {3, 4, 5, 1, 2}},
        {"type, then name among equal types", {{Column::type, true}, {Column::name, true}}, {2, 1, 5, 4, 3}},
        {"name: numbers by value, letter case ignored", {{Column::name, true}}, {2, 5, 4, 1, 3}},
        {"modified: missing dates first", {{Column::modified, true}}, {2, 5, 3, 1, 4}},
        {"modified descending: missing dates last", {{Column::modified, false}}, {4, 1, 3, 2, 5}},
        {"category by its name, not its number", {{Column::category, true}}, {3, 2, 4, 5, 1}},
        {"created: all missing, the screen's order", {{Column::created, true}}, {1, 2, 3, 4, 5}},
        {"no keys: the screen's order", {}, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(idsInOrder(sample(), FileTableModel::sortedRows(sample(), c.order)), c.expected);
    }
}

TEST(FileTableModel, HeaderClicksPutTheColumnFirst)
{
    struct Case {
        SortOrder before;
        Column clicked;
        SortOrder after;
    };
    const std::vector<Case> cases{
        {{{Column::size, false}}, Column::size, {{Column::size, true}}},
        {{{Column::size, false}}, Column::name, {{Column::name, true}, {Column::size, false}}},
        {{{Column::name, true}, {Column::size, false}}, Column::name, {{Column::name, false}, {Column::size, false}}},
        {{{Column::name, false}, {Column::size, false}}, Column::size, {{Column::size, true}, {Column::name, false}}},
        {{}, Column::location, {{Column::location, true}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileTableModel::afterHeaderClick(c.before, c.clicked), c.after);
}

TEST(FileTableModel, RanksFollowSizeOnlyAndKeepTheScreensOrderForTies)
{
    ensureApplication();
    const auto ranks = FileTableModel::ranks(sample());
    EXPECT_EQ(ranks, (std::unordered_map<std::int64_t, int>{{3, 1}, {1, 2}, {2, 3}, {5, 4}, {4, 5}}));
    EXPECT_TRUE(FileTableModel::ranks({}).empty());

    FileTableModel model;
    model.setFiles(sample());
    EXPECT_TRUE(model.rankMap().empty());
    EXPECT_FALSE(model.index(0, Column::name).data(FileTableModel::rankRole).isValid());
    model.setShowsRank(true);
    model.setSortOrder({{Column::name, true}});
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row)
        shown << model.index(row, Column::name).data(Qt::DisplayRole).toString() + " " +
                     model.index(row, Column::name).data(FileTableModel::rankRole).toString();
    EXPECT_EQ(shown, QStringList({"A.JPG 3.", "a9.txt 4.", "a10.txt 5.", "b.jpg 2.", "readme 1."}));
}

TEST(FileTableModel, CellTexts)
{
    ensureApplication();
    TestHome home;
    const FileItem photo = fileAt(home.path() + "/Pictures/2023/IMG_0001.jpg",
                                  {.id = 1, .size = 12, .allocatedSize = 4096, .created = 1700000000.0,
                                   .modified = 1700000000.0, .category = StorageCategory::photos});
    const FileItem bare = fileAt("/.hidden-link", {.id = 2, .flags = FileItem::Flags::hidden | FileItem::Flags::symlink});
    const FileItem library = fileAt("/usr/lib/libfoo.so.13", {.id = 3, .fileExtension = "13"});

    struct Case {
        const FileItem& item;
        Column column;
        QString expected;
    };
    const QString dash = QString::fromUtf8("\u2014");
    const std::vector<Case> cases{
        {photo, Column::size, "4.10 KB"},
        {photo, Column::type, "JPG"},
        {photo, Column::category, "Photos"},
        {photo, Column::created, LocaleText::abbreviatedDate(1700000000.0)},
        {photo, Column::location, "~/Pictures/2023"},
        {bare, Column::type, "File"},
        {library, Column::type, "SO"},   // a version after the name is no type
        {bare, Column::modified, dash},
        {bare, Column::created, dash},
        {bare, Column::location, "/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileTableModel::cellText(c.item, c.column), c.expected) << c.column;
    EXPECT_EQ(FileTableModel::sizeToolTip(photo), QString::fromUtf8("4,096 bytes on disk \u00b7 12 bytes logical"));

    FileTableModel model;
    model.setFiles({photo, bare});
    const QModelIndex root = model.index(model.rowOf(2), Column::name);
    EXPECT_EQ(root.data(Qt::ToolTipRole).toString(), "/.hidden-link");
    EXPECT_EQ(root.data(FileTableModel::symbolRole).toString(), "link");
    EXPECT_TRUE(root.data(FileTableModel::hiddenRole).toBool());
    const QModelIndex image = model.index(model.rowOf(1), Column::name);
    EXPECT_EQ(image.data(FileTableModel::symbolRole).toString(), "photo.on.rectangle");
    EXPECT_FALSE(image.data(FileTableModel::hiddenRole).toBool());
    EXPECT_EQ(model.headerData(Column::location, Qt::Horizontal, Qt::DisplayRole).toString(), "Location");
}

TEST(FileTableDelegate, NameCellLayout)
{
    ensureApplication();
    const QFontMetrics metrics(QApplication::font());
    const QRect cell(100, 0, 280, 24);
    struct Case {
        const char* what;
        QString rankWidthText;
        bool showsRank;
        bool hidden;
        bool hardLink;
        int iconLeft;
        int rankWidth;
    };
    const std::vector<Case> cases{
        {"no rank", "", false, false, false, 104, 0},
        {"short ranks keep the minimum frame", "9.", true, false, false, 104 + 28 + 6, 28},
        {"long ranks widen every row's frame alike", "100000.", true, true, false,
         104 + metrics.horizontalAdvance("100000.") + 6, metrics.horizontalAdvance("100000.")},
        {"a hard link's marker follows the name", "", false, false, true, 104, 0},
        {"both markers, hidden first", "9.", true, true, true, 104 + 28 + 6, 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto layout = FileTableDelegate::nameLayout(cell, metrics, c.rankWidthText, c.showsRank,
                                                          "a-rather-long-file-name-that-cannot-fit-in-the-cell.bin",
                                                          c.hidden, c.hardLink, 12);
        EXPECT_EQ(layout.icon.left(), c.iconLeft);
        EXPECT_EQ(layout.rank.width(), c.rankWidth);
        EXPECT_EQ(layout.name.left(), c.iconLeft + 16 + 6);
        EXPECT_TRUE(layout.shownName.startsWith("a-rather")) << layout.shownName.toStdString();
        EXPECT_TRUE(layout.shownName.endsWith(".bin")) << layout.shownName.toStdString();
        // Everything stays inside the cell, the markers included, and nothing overlaps.
        const QRect last = c.hardLink ? layout.hardLinkMarker : c.hidden ? layout.hiddenMarker : layout.name;
        EXPECT_LE(last.right(), cell.right() - 4 + 1);
        EXPECT_EQ(layout.hiddenMarker.isEmpty(), !c.hidden);
        EXPECT_EQ(layout.hardLinkMarker.isEmpty(), !c.hardLink);
        if (c.hidden && c.hardLink) {
            EXPECT_GT(layout.hardLinkMarker.left(), layout.hiddenMarker.right());
        }
        if (c.hidden || c.hardLink) {
            EXPECT_GT((c.hidden ? layout.hiddenMarker : layout.hardLinkMarker).left(), layout.name.right());
        }
    }
    // A name that fits is shown whole, its marker right after it; one that just misses is elided.
    const QString name = "notes.md";
    const int width = metrics.horizontalAdvance(name);
    const QRect exact(0, 0, 4 + 16 + 6 + width + 4, 24);
    const auto fits = FileTableDelegate::nameLayout(exact, metrics, "", false, name, false, false, 12);
    EXPECT_EQ(fits.shownName, name);
    EXPECT_EQ(fits.name.width(), width);
    const auto marked = FileTableDelegate::nameLayout(exact.adjusted(0, 0, 6 + 12, 0), metrics, "", false, name,
                                                      true, false, 12);
    EXPECT_EQ(marked.shownName, name);
    EXPECT_EQ(marked.hiddenMarker.left(), marked.name.left() + width + 6);
    const auto misses = FileTableDelegate::nameLayout(exact.adjusted(0, 0, -1, 0), metrics, "", false, name, false,
                                                      false, 12);
    EXPECT_NE(misses.shownName, name);
    EXPECT_LT(misses.name.width(), width);
}

TEST(FileTable, IdealWidthsMakeRoomForLongDates)
{
    ensureApplication();
    QFont tiny = QApplication::font();
    tiny.setPointSize(4);
    QFont large = QApplication::font();
    large.setPointSize(16);
    const QFontMetrics small(tiny);
    const QFontMetrics wide(large);
    EXPECT_EQ(FileTable::idealWidth(Column::name, wide), 280);
    EXPECT_EQ(FileTable::idealWidth(Column::location, wide), 260);
    EXPECT_EQ(FileTable::idealWidth(Column::modified, small), 130);
    EXPECT_EQ(FileTable::idealWidth(Column::created, small), 96);
    FileItem dated;
    dated.modified = 1790636280.0;
    EXPECT_GT(FileTable::idealWidth(Column::modified, wide),
              wide.horizontalAdvance(FileTableModel::cellText(dated, Column::modified)));
}

namespace {

class FileTableTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override
    {
        table = std::make_unique<FileTable>(*model, true);
        table->resize(900, 300);
        table->show();
    }

    // Real files under the test's home folder, so that removal requests judge real paths.
    std::vector<FileItem> realFiles()
    {
        std::vector<FileItem> files;
        for (std::int64_t id = 1; id <= 4; ++id) {
            files.push_back(fileAt(home.write("Downloads/file" + std::to_string(id) + ".bin"),
                                   {.id = id, .size = id * 1000, .allocatedSize = id * 1000}));
        }
        return files;
    }

    std::set<std::int64_t> idsShownSelected() const
    {
        std::set<std::int64_t> ids;
        for (const QModelIndex& index : table->view()->selectionModel()->selectedRows())
            ids.insert(table->tableModel()->fileAt(index.row()).id);
        return ids;
    }

    QPoint centreOf(std::int64_t id) const
    {
        return table->view()->visualRect(table->tableModel()->index(table->tableModel()->rowOf(id), Column::type))
            .center();
    }

    void press(Qt::MouseButton button, const QPoint& at)
    {
        QWidget* viewport = table->view()->viewport();
        QMouseEvent down(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), button, button, Qt::NoModifier);
        QApplication::sendEvent(viewport, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), button, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(viewport, &up);
    }

    std::unique_ptr<FileTable> table;
};

} // namespace

TEST_F(FileTableTest, OpensSortedBySizeWithTheHeaderMarked)
{
    table->setFiles(sample());
    EXPECT_EQ(table->sortOrder(), (SortOrder{{Column::size, false}}));
    QHeaderView* header = table->view()->horizontalHeader();
    EXPECT_EQ(header->sortIndicatorSection(), Column::size);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(table->tableModel()->fileAt(0).id, 3);

    emit header->sectionClicked(Column::name);
    EXPECT_EQ(table->sortOrder(), (SortOrder{{Column::name, true}, {Column::size, false}}));
    EXPECT_EQ(header->sortIndicatorSection(), Column::name);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    // Each column keeps its own minimum width.
    header->resizeSection(Column::size, 10);
    EXPECT_EQ(header->sectionSize(Column::size), 62);
    header->resizeSection(Column::name, 10);
    EXPECT_EQ(header->sectionSize(Column::name), 150);
    EXPECT_EQ(header->sectionSize(Column::type), 60);
}

TEST_F(FileTableTest, SelectionSurvivesResortsAndNewLists)
{
    table->setFiles(sample());
    int changes = 0;
    QObject::connect(table.get(), &FileTable::selectionChanged, [&] { ++changes; });
    table->setSelection({2, 4});
    EXPECT_EQ(idsShownSelected(), (std::set<std::int64_t>{2, 4}));

    table->sortByColumn(Column::name);
    EXPECT_EQ(idsShownSelected(), (std::set<std::int64_t>{2, 4}));
    table->sortByColumn(Column::name);
    EXPECT_EQ(idsShownSelected(), (std::set<std::int64_t>{2, 4}));

    // A file that leaves the list leaves the selection; the ones that stay stay selected.
    std::vector<FileItem> next{sample()[3], fileAt("/data/9/new.bin", {.id = 9, .size = 7, .allocatedSize = 7})};
    table->setFiles(next);
    EXPECT_EQ(idsShownSelected(), (std::set<std::int64_t>{4}));
    EXPECT_EQ(table->selection(), (std::set<std::int64_t>{4}));
    EXPECT_EQ(changes, 2);

    // A click in the view is the selection.
    press(Qt::LeftButton, centreOf(9));
    EXPECT_EQ(table->selection(), (std::set<std::int64_t>{9}));
    EXPECT_EQ(changes, 3);
}

TEST_F(FileTableTest, RowsKeepTheirPlaceInTheViewThroughNewListsAndSorts)
{
    QAbstractItemModelTester tester(table->tableModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    table->setFiles(sample());
    QTableView* view = table->view();
    table->setSelection({5});
    ASSERT_EQ(view->currentIndex().row(), table->tableModel()->rowOf(5));
    const QPersistentModelIndex held = table->tableModel()->index(table->tableModel()->rowOf(1), Column::name);

    // The same files, one of them grown: no reset, the current row and the selection stay on their files.
    int resets = 0;
    QObject::connect(table->tableModel(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    std::vector<FileItem> grown = sample();
    grown[4].allocatedSize = 1000;
    table->setFiles(grown);
    EXPECT_EQ(table->tableModel()->fileAt(0).id, 5);
    EXPECT_EQ(table->tableModel()->fileAt(view->currentIndex().row()).id, 5);
    EXPECT_EQ(table->selection(), (std::set<std::int64_t>{5}));
    ASSERT_TRUE(held.isValid());
    EXPECT_EQ(table->tableModel()->fileAt(held.row()).id, 1);

    table->sortByColumn(Column::name);
    EXPECT_EQ(table->tableModel()->fileAt(view->currentIndex().row()).id, 5);
    EXPECT_EQ(table->tableModel()->fileAt(held.row()).id, 1);
    table->setFiles({});
    table->setFiles(sample());
    EXPECT_EQ(resets, 0);

    // Ctrl+click on the selected row leaves nothing selected.
    table->setSelection({3});
    const QPoint at = centreOf(3);
    QWidget* viewport = view->viewport();
    QMouseEvent down(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                     Qt::ControlModifier);
    QApplication::sendEvent(viewport, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                   Qt::ControlModifier);
    QApplication::sendEvent(viewport, &up);
    EXPECT_TRUE(table->selection().empty());
    EXPECT_EQ(table->contextFiles(table->tableModel()->rowOf(3)).size(), 1u);
}

// The menu acts on what the table shows as selected, and Details follows it.
TEST_F(FileTableTest, RightClickSelectsTheRowItActsOnUnlessItIsInTheSelection)
{
    table->setFiles(sample());
    table->setSelection({1, 5});
    std::vector<std::set<std::int64_t>> announced;
    QObject::connect(table.get(), &FileTable::selectionChanged, table.get(),
                     [&] { announced.push_back(table->selection()); });

    FileContextMenu* single = table->openContextMenu(centreOf(3));
    ASSERT_TRUE(single);
    ASSERT_EQ(single->files().size(), 1u);
    EXPECT_EQ(single->files().front().id, 3);
    EXPECT_EQ(table->selection(), std::set<std::int64_t>{3});
    EXPECT_EQ(idsShownSelected(), std::set<std::int64_t>{3});
    EXPECT_EQ(table->tableModel()->fileAt(table->view()->currentIndex().row()).id, 3);
    ASSERT_FALSE(announced.empty());
    EXPECT_EQ(announced.back(), std::set<std::int64_t>{3});

    // A row inside the selection keeps all of it, in the screen's order whatever the table's sort.
    table->setSelection({1, 5});
    FileContextMenu* both = table->openContextMenu(centreOf(5));
    ASSERT_TRUE(both);
    ASSERT_EQ(both->files().size(), 2u);
    EXPECT_EQ(both->files()[0].id, 1);
    EXPECT_EQ(both->files()[1].id, 5);
    EXPECT_EQ(table->selection(), (std::set<std::int64_t>{1, 5}));

    const QPoint belowRows(20, table->view()->viewport()->height() - 5);
    ASSERT_FALSE(table->view()->indexAt(belowRows).isValid());
    EXPECT_EQ(table->openContextMenu(belowRows), nullptr);
    EXPECT_EQ(table->selection(), (std::set<std::int64_t>{1, 5}));
}

TEST_F(FileTableTest, DoubleClickRevealsTheRowOrTheSelection)
{
    const std::vector<FileItem> files = realFiles();
    table->setFiles(files);
    table->setSelection({1, 3});
    QTableView* view = table->view();
    emit view->doubleClicked(table->tableModel()->index(table->tableModel()->rowOf(2), Column::name));
    emit view->doubleClicked(table->tableModel()->index(table->tableModel()->rowOf(3), Column::size));
    EXPECT_EQ(desktop->revealed, (std::vector<std::vector<std::string>>{
                                     {pathOf(files[1])}, {pathOf(files[0]), pathOf(files[2])}}));
}

TEST_F(FileTableTest, DeleteOffersTheSelectedFilesWithValidNames)
{
    std::vector<FileItem> files = realFiles();
    files[1].flags = FileItem::Flags::invalidName;
    // A valid name in a folder whose name was repaired: the path may lead to a sibling's file.
    files[2].folderPath += "/old\xEF\xBF\xBD";
    table->setFiles(files);
    int alerts = 0;
    int requests = 0;
    QObject::connect(model.get(), &AppModel::alertChanged, [&] { ++alerts; });
    QObject::connect(model.get(), &AppModel::trashRequestChanged, [&] { ++requests; });

    // Nothing selected, or only a file whose stored name is not its real one: nothing happens.
    table->findChild<QAction*>(QStringLiteral("deleteAction"))->trigger();
    table->setSelection({2});
    table->findChild<QAction*>(QStringLiteral("deleteAction"))->trigger();
    table->setSelection({3});
    table->findChild<QAction*>(QStringLiteral("deleteAction"))->trigger();
    table->setSelection({7});
    table->findChild<QAction*>(QStringLiteral("deleteAction"))->trigger();
    // Requests are judged in the background: let any that was wrongly made arrive.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(requests, 0);

    table->setSelection({4, 3, 2, 1});
    table->findChild<QAction*>(QStringLiteral("deleteAction"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return model->trashRequest().has_value(); }));
    EXPECT_EQ(alerts, 0);
    const std::vector<TrashCandidate> expected{
        {pathOf(files[0]), "file1.bin", 1000, false, std::nullopt},
        {pathOf(files[3]), "file4.bin", 4000, false, std::nullopt},
    };
    EXPECT_EQ(model->trashRequest()->candidates, expected);

    EXPECT_EQ(table->findChild<QAction*>(QStringLiteral("deleteAction"))->shortcut(), QKeySequence(QKeySequence::Delete));
    EXPECT_EQ(table->findChild<QAction*>(QStringLiteral("deleteAction"))->shortcutContext(), Qt::WidgetWithChildrenShortcut);
}

TEST_F(FileTableTest, ScreenshotOfAScannedFolder)
{
    namespace fs = std::filesystem;
    auto make = [&](const std::string& relative, std::size_t bytes) {
        const fs::path path = fs::path(home.path()) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << std::string(bytes, 'x');
    };
    const std::vector<std::pair<std::string, std::size_t>> tree{
        {"Downloads/ubuntu-24.04-desktop-amd64.iso", 900'000},
        {"Downloads/Installer Package.dmg", 420'000},
        {"Downloads/photos-backup-2023.zip", 610'000},
        {"Downloads/invoice_march.pdf", 48'000},
        {"Downloads/a file with a really long name that will not fit into the name column at all.txt", 22'000},
        {"Documents/Thesis/final draft v12.docx", 130'000},
        {"Documents/Thesis/figures/plot-01.png", 75'000},
        {"Documents/Thesis/figures/plot-02.png", 74'000},
        {"Documents/budget.xlsx", 36'000},
        {"Documents/notes", 3'000},
        {"Pictures/2023/IMG_0001.JPG", 310'000},
        {"Pictures/2023/IMG_0002.jpg", 295'000},
        {"Pictures/2023/IMG_0003.heic", 180'000},
        {"Movies/holiday.mp4", 780'000},
        {"Movies/clip.mov", 260'000},
        {"Music/album/01 Opening.mp3", 92'000},
        {"Music/album/02 Second.flac", 240'000},
        {"Projects/site/node_modules/left-pad/index.js", 12'000},
        {"Projects/site/package-lock.json", 64'000},
        {"Projects/site/.env", 600},
        {"Projects/tool/build/tool.o", 140'000},
        {"Projects/tool/main.cpp", 18'000},
        {".cache/thumbnails/large/3f2a.png", 40'000},
        {".bash_history", 9'000},
        {"Library/Logs/app.log", 55'000},
        {"VMs/test.qcow2", 500'000},
    };
    for (const auto& [relative, bytes] : tree)
        make(relative, bytes);
    fs::create_symlink(fs::path(home.path()) / "Downloads/photos-backup-2023.zip",
                       fs::path(home.path()) / "Downloads/latest-backup.zip");

    ScannedTree scanned;
    scanned.scan({home.path()});
    const std::vector<FileItem> files = scanned.database.largestFiles(40);
    ASSERT_GE(files.size(), tree.size());

    table->resize(1180, 960);
    table->setFiles(files);
    table->setSelection({files[2].id, files[3].id});
    QApplication::processEvents();
    saveScreenshot(*table, "FileTable");
    EXPECT_EQ(table->tableModel()->index(0, Column::name).data(FileTableModel::rankRole).toString(), "1.");

    // Along a hidden file's name cell the help text is its path, and "Hidden file" over the marker.
    std::int64_t hiddenID = 0;
    for (const FileItem& item : files)
        if (item.name == ".bash_history")
            hiddenID = item.id;
    const QModelIndex cell = table->tableModel()->index(table->tableModel()->rowOf(hiddenID), Column::name);
    const QRect rect = table->view()->visualRect(cell);
    QStringList tips;
    for (int x = rect.left(); x < rect.right(); x += 4) {
        QHelpEvent help(QEvent::ToolTip, QPoint(x, rect.center().y()), QPoint(x, rect.center().y()));
        QApplication::sendEvent(table->view()->viewport(), &help);
        if (tips.isEmpty() || tips.back() != QToolTip::text())
            tips << QToolTip::text();
    }
    EXPECT_TRUE(tips.contains("Hidden file")) << tips.join(" | ").toStdString();
    EXPECT_TRUE(tips.contains(QString::fromStdString(home.path() + "/.bash_history"))) << tips.join(" | ").toStdString();
}
