#include "ui/support/UiTestSupport.h"

#include "app/AppModel.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"
#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/KestrelmoorApp.h"
#include "ui/screens/frame/WindowPlacement.h"
#include "ui/screens/preferences/WelcomeSheet.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QPushButton>

namespace {

class WelcomeSheetTest : public ::testing::Test {
protected:
    std::unique_ptr<KestrelmoorApp> launch()
    {
        return launchApp(settings, std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite")), true);
    }
    static bool sheetShown(ContentView& window)
    {
        return waitUntil([&] { return window.welcomeSheet() && window.welcomeSheet()->isVisible(); });
    }
    // The sheet is made as the window is shown, when it is to be shown at all.
    static bool sheetMade(ContentView& window) { return window.welcomeSheet() != nullptr; }

    SettingsFolder settings;
    TempDir cache;
};

TEST_F(WelcomeSheetTest, ShownOnceOnTheFirstRunAndReturnMeansGetStarted)
{
    auto first = launch();
    first->model().setSelection(SidebarItem::memory);
    first->mainWindow().show();
    ASSERT_TRUE(sheetShown(first->mainWindow()));
    // Stored as soon as the sheet is shown, not when it closes.
    EXPECT_TRUE(UserDefaults::standard().boolValue(SettingsKey::hasSeenWelcome));
    saveScreenshot(*first->mainWindow().welcomeSheet(), QStringLiteral("welcome-sheet"));

    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(first->mainWindow().welcomeSheet(), &enter);
    QCoreApplication::processEvents();
    EXPECT_EQ(first->mainWindow().welcomeSheet(), nullptr);
    EXPECT_EQ(first->model().selection(), SidebarItem::memory);

    // Showing the window again, or starting again, brings no sheet.
    first->mainWindow().hide();
    first->mainWindow().show();
    EXPECT_FALSE(sheetMade(first->mainWindow()));
    first.reset();
    auto second = launch();
    second->mainWindow().show();
    EXPECT_FALSE(sheetMade(second->mainWindow()));
}

TEST_F(WelcomeSheetTest, ReadPrivacyDetailsShowsThePrivacyScreen)
{
    auto app = launch();
    app->mainWindow().show();
    ASSERT_TRUE(sheetShown(app->mainWindow()));
    app->mainWindow().welcomeSheet()->findChild<QPushButton*>(QStringLiteral("privacyButton"))->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(app->mainWindow().welcomeSheet(), nullptr);
    EXPECT_EQ(app->model().selection(), SidebarItem::privacy);
}

// The sheet belongs to the window: modal over it, centred on it, and a click on the
// window cannot take the sheet's focus.
TEST_F(WelcomeSheetTest, TheSheetIsModalOverTheWindowCentredAndKeepsTheFocus)
{
    auto app = launch();
    ContentView& window = app->mainWindow();
    window.resize(1000, 660);
    window.move(140, 60);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(sheetShown(window));
    WelcomeSheet& sheet = *window.welcomeSheet();
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheet.isModal());
    EXPECT_EQ(sheet.parentWidget(), &window);
    const QPoint offset = sheet.geometry().center() - window.frameGeometry().center();
    EXPECT_LE(std::abs(offset.x()), 2) << offset.x();
    EXPECT_LE(std::abs(offset.y()), 30) << offset.y();    // the title bar, when there is one
    EXPECT_EQ(QApplication::activeModalWidget(), &sheet);

    // The window is clicked: the sheet has the focus again.
    QApplication::setActiveWindow(&sheet);
    QCoreApplication::processEvents();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &sheet; }))
        << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString() : "none");
}

TEST(WelcomeSheetPlacement, CentredOverItsWindow)
{
    EXPECT_EQ(WindowPlacement::centredOver(QRect(100, 50, 1000, 660), QSize(540, 460)), QPoint(330, 150));
    EXPECT_EQ(WindowPlacement::centredOver(QRect(0, 0, 400, 300), QSize(540, 460)), QPoint(-70, -80));
}

} // namespace
