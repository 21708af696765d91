#include "ui/UiTestSupport.h"

#include "app/AppModel.h"
#include "support/RecordingTrasher.h"
#include "app/SettingsKey.h"
#include "support/TestHome.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"
#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/KestrelmoorApp.h"
#include "ui/screens/frame/TrashConfirmationSheet.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {

class TrashSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = launchApp(settings, std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite")));
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
    static void press(QWidget* target, int key)
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &up);
    }

    TestHome home;
    TempDir settings;
    TempDir cache;
    std::unique_ptr<KestrelmoorApp> app;
    std::shared_ptr<RecordingTrasher> trasher;
};

TEST_F(TrashSheetTest, RowsShowSizeLocationNoteAndCautionWithATotalForSeveralItems)
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
        EXPECT_EQ(texts(sheet, "nameLabel").size(), static_cast<qsizetype>(c.candidates.size())) << c.name;
        EXPECT_EQ(texts(sheet, "sizeLabel"), c.sizes) << c.name;
        EXPECT_EQ(texts(sheet, "locationLabel"), c.locations) << c.name;
        EXPECT_EQ(texts(sheet, "noteLabel"), c.notes) << c.name;
        EXPECT_EQ(texts(sheet, "cautionText").size(), c.cautions) << c.name;
        EXPECT_EQ(texts(sheet, "totalLabel"), c.total.isEmpty() ? QStringList{} : QStringList{c.total}) << c.name;
        EXPECT_EQ(sheet.width(), 520);
    }

    // The note comes before the caution in its row.
    TrashConfirmationSheet sheet(app->model(), TrashRequest::make(cases[2].candidates));
    sheet.show();
    auto* note = sheet.findChild<QLabel*>(QStringLiteral("noteLabel"));
    auto* caution = sheet.findChild<QLabel*>(QStringLiteral("cautionText"));
    ASSERT_TRUE(note && caution);
    EXPECT_LT(note->mapTo(&sheet, QPoint(0, 0)).y(), caution->mapTo(&sheet, QPoint(0, 0)).y());
    EXPECT_EQ(caution->text(), "This is an app's settings file. Removing it resets that app's preferences.");
    saveScreenshot(sheet, QStringLiteral("trash-sheet"));
}

TEST_F(TrashSheetTest, ManyItemsScrollInsideABoundedList)
{
    std::vector<TrashCandidate> many;
    for (int i = 0; i < 30; ++i)
        many.push_back({home.path() + "/f" + std::to_string(i), "f" + std::to_string(i), 1000, false, std::nullopt});
    TrashConfirmationSheet sheet(app->model(), TrashRequest::make(many));
    sheet.show();
    EXPECT_LE(sheet.findChild<QWidget*>(QStringLiteral("itemList"))->height(), 280);
    EXPECT_TRUE(sheet.findChild<QPushButton*>(QStringLiteral("moveButton"))->isVisible());
}

TEST_F(TrashSheetTest, EscapeCancelsReturnConfirmsNothingAndMoveRunsOnce)
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
    move->click();
    EXPECT_TRUE(sheet->isWorking());
    EXPECT_FALSE(move->isEnabled());
    move->click();
    EXPECT_EQ(window.trashSheet(), nullptr);   // the model cleared the request at once
    ASSERT_TRUE(waitUntil([&] { return app->model().scan().dataVersion() == 1; }));
    EXPECT_EQ(trasher->movedSoFar(), std::vector<std::string>{file});
    EXPECT_FALSE(app->model().alert().has_value());
}

TEST_F(TrashSheetTest, FailuresAndRefusalsReachTheUserAsOneAlert)
{
    const std::string a = home.write("Downloads/a.dmg");
    const std::string b = home.write("Downloads/b.dmg");
    trasher->refused = {a, b};
    ContentView& window = app->mainWindow();
    app->model().requestTrash({{a, "a.dmg", 1, false, std::nullopt}, {b, "b.dmg", 1, false, std::nullopt}});
    ASSERT_TRUE(waitUntil([&] { return window.trashSheet() != nullptr; }));
    window.trashSheet()->findChild<QPushButton*>(QStringLiteral("moveButton"))->click();
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
    EXPECT_EQ(window.alertBox()->text(), "Protected by macOS");
}

} // namespace
