#include "ui/support/UiTestSupport.h"

#include "app/AppModel.h"
#include "support/RecordingTrasher.h"
#include "app/SettingsKey.h"
#include "support/TestHome.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"
#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/KestrelmoorApp.h"
#include "support/RecordingDesktop.h"
#include "ui/screens/frame/TrashCandidateDelegate.h"
#include "ui/screens/frame/TrashCandidateListModel.h"
#include "ui/screens/frame/TrashConfirmationSheet.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QtTest/QTest>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {

class TrashConfirmationSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = launchApp(settings, std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite")));
        app->model().setDesktopServices(std::make_shared<RecordingDesktop>());
        trasher = std::make_shared<RecordingTrasher>();
        app->model().setFileTrasher(trasher);
        app->mainWindow().show();
    }

    static QStringList texts(QWidget& sheet, const char* name)
    {
        QStringList found;
        for (auto* label : sheet.findChildren<QLabel*>(QString::fromLatin1(name)))
            found << label->text();
        return found;
    }
    // One role of every row, in list order; rows without it are left out.
    static QStringList column(const TrashConfirmationSheet& sheet, int role)
    {
        QStringList found;
        const TrashCandidateListModel& rows = *sheet.candidates();
        for (int row = 0; row < rows.rowCount(); ++row)
            if (const QVariant value = rows.index(row, 0).data(role); value.isValid())
                found << value.toString();
        return found;
    }
    static void press(QWidget* target, int key)
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &up);
    }

    TestHome home;
    SettingsFolder settings;
    TempDir cache;
    std::unique_ptr<KestrelmoorApp> app;
    std::shared_ptr<RecordingTrasher> trasher;
};

TEST_F(TrashConfirmationSheetTest, RowsShowSizeLocationNoteAndCautionWithATotalForSeveralItems)
{
    const std::string h = home.path();
    struct Case {
        const char* name;
        std::vector<TrashCandidate> candidates;
        QStringList sizes, locations, notes;
        int cautions;
        QString total;   // empty: no total line
    };
    const Case cases[] = {
        {"one item", {{h + "/Projects/a.zip", "a.zip", 1500000, false, std::nullopt}},
         {"Size: 1.50 MB"}, {"Location: ~/Projects/a.zip"}, {}, 0, ""},
        {"one size unknown",
         {{h + "/x.iso", "x.iso", 2500, false, std::nullopt}, {"/opt/tool", "tool", std::nullopt, true, std::nullopt}},
         {"Size: 2.50 KB", "Size: Unknown"}, {"Location: ~/x.iso", "Location: /opt/tool"}, {}, 0,
         "Total: 2.50 KB in 2 items"},
        {"no sizes",
         {{h, "home", std::nullopt, true, std::nullopt},
          {h + "/Library/Preferences/p.plist", "p.plist", std::nullopt, false, std::string("Left by an old app")}},
         {"Size: Unknown", "Size: Unknown"}, {"Location: ~", "Location: ~/Library/Preferences/p.plist"},
         {"Left by an old app"}, 1, "Total: 0 bytes in 2 items"},
    };
    home.write("Library/Preferences/p.plist");
    for (const Case& c : cases) {
        TrashConfirmationSheet sheet(app->model(), TrashRequest::make(c.candidates));
        QAbstractItemModelTester tester(sheet.candidates(), QAbstractItemModelTester::FailureReportingMode::Warning);
        ASSERT_TRUE(waitUntil([&] { return !sheet.isJudging(); })) << c.name;
        EXPECT_EQ(column(sheet, Qt::DisplayRole).size(), static_cast<qsizetype>(c.candidates.size())) << c.name;
        EXPECT_EQ(column(sheet, TrashCandidateListModel::sizeTextRole), c.sizes) << c.name;
        EXPECT_EQ(column(sheet, TrashCandidateListModel::locationTextRole), c.locations) << c.name;
        EXPECT_EQ(column(sheet, TrashCandidateListModel::noteRole), c.notes) << c.name;
        EXPECT_EQ(column(sheet, TrashCandidateListModel::cautionRole).size(), c.cautions) << c.name;
        EXPECT_EQ(texts(sheet, "totalLabel"), c.total.isEmpty() ? QStringList{} : QStringList{c.total}) << c.name;
        EXPECT_EQ(sheet.width(), 520);
    }

    // The note comes before the caution in its row, and the row grows to show both.
    TrashConfirmationSheet sheet(app->model(), TrashRequest::make(cases[2].candidates));
    sheet.show();
    ASSERT_TRUE(waitUntil([&] { return !sheet.isJudging(); }));
    const QModelIndex withBoth = sheet.candidates()->index(1, 0);
    std::vector<TrashCandidateDelegate::Line::Kind> kinds;
    QString caution;
    for (const auto& line : TrashCandidateDelegate::lines(withBoth)) {
        kinds.push_back(line.kind);
        if (line.kind == TrashCandidateDelegate::Line::caution)
            caution = line.text;
    }
    using Line = TrashCandidateDelegate::Line;
    EXPECT_EQ(kinds, (std::vector<Line::Kind>{Line::name, Line::size, Line::location, Line::note, Line::caution}));
    EXPECT_EQ(caution, "This is an app's settings file. Removing it resets that app's preferences.");
    QListView& list = *sheet.itemList();
    EXPECT_GE(list.height(), list.visualRect(withBoth).bottom());
    EXPECT_EQ(list.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    saveScreenshot(sheet, QStringLiteral("trash-sheet"));
}

TEST_F(TrashConfirmationSheetTest, ManyItemsScrollInsideABoundedList)
{
    std::vector<TrashCandidate> many;
    // Enough to scroll far past the list's bound, few enough to be judged in time under the sanitizers.
    for (int i = 0; i < 1000; ++i)
        many.push_back({home.path() + "/f" + std::to_string(i), "f" + std::to_string(i), 1000, false,
                        std::string("Duplicate of 1 other copy")});
    TrashConfirmationSheet sheet(app->model(), TrashRequest::make(many));
    sheet.show();
    QCoreApplication::processEvents();
    EXPECT_LE(sheet.itemList()->height(), 280);
    EXPECT_EQ(sheet.itemList()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(sheet.findChild<QPushButton*>(QStringLiteral("moveButton"))->isVisible());
    EXPECT_EQ(texts(sheet, "totalLabel"), QStringList{"Total: 1.00 MB in 1000 items"});
    EXPECT_EQ(sheet.candidates()->rowCount(), 1000);

    // The last row can be scrolled to and is drawn whole.
    sheet.itemList()->scrollToBottom();
    const QRect last = sheet.itemList()->visualRect(sheet.candidates()->index(999, 0));
    EXPECT_LE(last.bottom(), sheet.itemList()->viewport()->height());
    ASSERT_TRUE(waitUntil([&] { return !sheet.isJudging(); }));
    saveScreenshot(sheet, QStringLiteral("trash-sheet-many"));
}

// The user confirms what the sheet says: not before every item's cautions are shown.
TEST_F(TrashConfirmationSheetTest, MoveWaitsForTheCautions)
{
    const std::string h = home.path();
    home.write("Library/Preferences/p.plist");
    TrashConfirmationSheet sheet(app->model(),
                                 TrashRequest::make({{.path = h + "/Library/Preferences/p.plist", .name = "p.plist",
                                                      .size = std::nullopt, .note = std::nullopt}}));
    sheet.show();
    auto* move = sheet.findChild<QPushButton*>(QStringLiteral("moveButton"));
    EXPECT_TRUE(sheet.isJudging());
    EXPECT_FALSE(move->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !sheet.isJudging(); }));
    EXPECT_EQ(column(sheet, TrashCandidateListModel::cautionRole).size(), 1);
    EXPECT_TRUE(move->isEnabled());
}

// The location can be copied whole, as the row shows it only shortened.
TEST_F(TrashConfirmationSheetTest, SelectedRowsCopyTheirFullPaths)
{
    const std::string h = home.path();
    TrashConfirmationSheet sheet(app->model(),
                                 TrashRequest::make({{h + "/a/" + std::string(200, 'x') + ".bin", "long", 1, false, {}},
                                                     {h + "/b.txt", "b.txt", 1, false, {}},
                                                     {"/opt/c", "c", 1, true, {}}}));
    sheet.show();
    QListView& list = *sheet.itemList();
    list.selectionModel()->select(sheet.candidates()->index(2, 0), QItemSelectionModel::Select);
    list.selectionModel()->select(sheet.candidates()->index(0, 0), QItemSelectionModel::Select);
    QApplication::setActiveWindow(&sheet);
    list.setFocus();
    QTest::keyClick(sheet.windowHandle(), Qt::Key_C, Qt::ControlModifier);
    const auto& desktop = static_cast<RecordingDesktop&>(app->model().desktop());
    ASSERT_EQ(desktop.copied.size(), 1u);
    EXPECT_EQ(desktop.copied.front(), h + "/a/" + std::string(200, 'x') + ".bin\n/opt/c");
    EXPECT_EQ(sheet.candidates()->index(0, 0).data(Qt::ToolTipRole).toString(),
              QString::fromStdString(h + "/a/" + std::string(200, 'x') + ".bin"));

    // A right-click on a row outside the selection makes it the selection that its menu copies.
    emit list.customContextMenuRequested(list.visualRect(sheet.candidates()->index(1, 0)).center());
    auto* menu = sheet.findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(list.selectionModel()->selectedRows(), QModelIndexList{sheet.candidates()->index(1, 0)});
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front()->text(), QStringLiteral("Copy Path"));
    menu->actions().front()->trigger();
    EXPECT_EQ(desktop.copied.back(), h + "/b.txt");
    menu->close();
}

TEST_F(TrashConfirmationSheetTest, EscapeCancelsReturnConfirmsNothingAndMoveRunsOnce)
{
    const std::string file = home.write("Downloads/big.dmg", "data");
    ContentView& window = app->mainWindow();
    app->model().requestTrash({{file, "big.dmg", 4, false, std::nullopt}});
    ASSERT_TRUE(waitUntil([&] { return window.trashSheet() != nullptr; }));
    EXPECT_TRUE(window.trashSheet()->isVisible());

    // Return on the sheet or on either button; a closed sheet is only deleted later.
    const QList<QWidget*> targets{window.trashSheet(),
                                  window.trashSheet()->findChild<QPushButton*>(QStringLiteral("cancelButton")),
                                  window.trashSheet()->findChild<QPushButton*>(QStringLiteral("moveButton"))};
    for (QWidget* target : targets)
        press(target, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_NE(window.trashSheet(), nullptr);
    EXPECT_FALSE(window.trashSheet()->isWorking());
    EXPECT_TRUE(app->model().trashRequest().has_value());

    press(window.trashSheet(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.trashSheet(), nullptr);
    EXPECT_FALSE(app->model().trashRequest().has_value());
    EXPECT_TRUE(trasher->movedSoFar().empty());

    // A new request opens a new sheet; two quick presses move the item once.
    app->model().requestTrash({{file, "big.dmg", 4, false, std::nullopt}});
    ASSERT_TRUE(waitUntil([&] { return window.trashSheet() != nullptr; }));
    auto* move = window.trashSheet()->findChild<QPushButton*>(QStringLiteral("moveButton"));
    TrashConfirmationSheet* sheet = window.trashSheet();
    ASSERT_TRUE(waitUntil([&] { return move->isEnabled(); }));
    move->click();
    EXPECT_TRUE(sheet->isWorking());
    EXPECT_FALSE(move->isEnabled());
    move->click();
    EXPECT_EQ(window.trashSheet(), nullptr);   // the model cleared the request at once
    ASSERT_TRUE(waitUntil([&] { return app->model().scan().dataVersion() == 1; }));
    EXPECT_EQ(trasher->movedSoFar(), std::vector<std::string>{file});
    EXPECT_FALSE(app->model().alert().has_value());
}

TEST_F(TrashConfirmationSheetTest, FailuresAndRefusalsReachTheUserAsOneAlert)
{
    const std::string a = home.write("Downloads/a.dmg");
    const std::string b = home.write("Downloads/b.dmg");
    trasher->refused = {a, b};
    ContentView& window = app->mainWindow();
    app->model().requestTrash({{a, "a.dmg", 1, false, std::nullopt}, {b, "b.dmg", 1, false, std::nullopt}});
    ASSERT_TRUE(waitUntil([&] { return window.trashSheet() != nullptr; }));
    auto* move = window.trashSheet()->findChild<QPushButton*>(QStringLiteral("moveButton"));
    ASSERT_TRUE(waitUntil([&] { return move->isEnabled(); }));
    move->click();
    ASSERT_TRUE(waitUntil([&] { return window.alertBox() != nullptr; }));
    EXPECT_EQ(window.alertBox()->text(), "Some items weren't moved");
    EXPECT_EQ(window.alertBox()->informativeText(),
              "~/Downloads/a.dmg: You don't have permission to move this item.\n"
              "~/Downloads/b.dmg: You don't have permission to move this item.");
    saveScreenshot(*window.alertBox(), QStringLiteral("alert-failures"));
    window.alertBox()->button(QMessageBox::Ok)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(app->model().alert().has_value());
    EXPECT_EQ(app->model().scan().dataVersion(), 0);

    // Protected items never reach a sheet.
    app->model().requestTrash({{"/usr/bin/env", "env", 1, false, std::nullopt}});
    ASSERT_TRUE(waitUntil([&] { return window.alertBox() != nullptr; }));
    EXPECT_EQ(window.trashSheet(), nullptr);
    EXPECT_EQ(window.alertBox()->text(), "Protected by the system");
    window.alertBox()->button(QMessageBox::Ok)->click();
    QCoreApplication::processEvents();

    // Many failures keep the alert on the screen: the first lines, and all in its details.
    std::vector<TrashCandidate> many;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "c" + std::to_string(i) + ".dmg";
        many.push_back({home.write("Downloads/" + name), name, 1, false, std::nullopt});
        trasher->refused.insert(many.back().path);
    }
    app->model().requestTrash(many);
    ASSERT_TRUE(waitUntil([&] { return window.trashSheet() != nullptr; }));
    move = window.trashSheet()->findChild<QPushButton*>(QStringLiteral("moveButton"));
    ASSERT_TRUE(waitUntil([&] { return move->isEnabled(); }));
    move->click();
    ASSERT_TRUE(waitUntil([&] { return window.alertBox() != nullptr; }));
    EXPECT_EQ(window.alertBox()->informativeText().count(QLatin1Char('\n')), 5);
    EXPECT_EQ(window.alertBox()->detailedText().count(QLatin1Char('\n')), 39);
    window.alertBox()->adjustSize();
    EXPECT_LT(window.alertBox()->sizeHint().height(), 480);
    saveScreenshot(*window.alertBox(), QStringLiteral("alert-many-failures"));
}

} // namespace
