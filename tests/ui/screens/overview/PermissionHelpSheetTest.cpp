#include "ui/screens/overview/PermissionHelpSheet.h"

#include "ui/UiTestSupport.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class PermissionHelpSheetTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }

    static void press(QWidget* target, Qt::Key key)
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &up);
    }
};

TEST_F(PermissionHelpSheetTest, KeepsItsTextsAndSaysWhatCanBeDoneHere)
{
    PermissionHelpSheet sheet;
    EXPECT_EQ(sheet.findChild<QWidget*>("title")->findChild<QLabel*>("title")->text(), "Grant Full Disk Access");
    const QString steps = sheet.findChild<QLabel*>("steps")->text();
    EXPECT_EQ(steps, PermissionHelpSheet::stepsText());
    const QStringList lines = steps.split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], "1. Click \"Open System Settings\".");
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("2. In Privacy & Security \u25B8 Full Disk Access")));
    EXPECT_TRUE(lines[3].isEmpty());
    EXPECT_TRUE(sheet.findChild<QLabel*>("note")->text().endsWith("— this is expected."));
    EXPECT_TRUE(sheet.findChild<QLabel*>("linuxHelp")->text().contains("no permission"));
}

TEST_F(PermissionHelpSheetTest, OffersNoButtonThatWouldOpenNothingHere)
{
    PermissionHelpSheet sheet;
    const auto buttons = sheet.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.front()->text(), "Close");
}

TEST_F(PermissionHelpSheetTest, CloseEscapeAndReturnEachCloseTheSheet)
{
    struct Case {
        const char* name;
        std::function<void(PermissionHelpSheet&)> close;
    };
    const Case cases[] = {
        {"Close", [](PermissionHelpSheet& s) { s.findChild<QPushButton*>("closeButton")->click(); }},
        {"Escape", [](PermissionHelpSheet& s) { press(&s, Qt::Key_Escape); }},
        {"Return", [](PermissionHelpSheet& s) { press(&s, Qt::Key_Return); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PermissionHelpSheet sheet;
        sheet.open();
        ASSERT_TRUE(sheet.isVisible());
        c.close(sheet);
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_EQ(sheet.result(), QDialog::Rejected);
    }
}

TEST_F(PermissionHelpSheetTest, Screenshot)
{
    PermissionHelpSheet sheet;
    sheet.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(sheet.width(), PermissionHelpSheet::sheetWidth);
    saveScreenshot(sheet, QStringLiteral("permission-help-sheet"));
}

} // namespace
