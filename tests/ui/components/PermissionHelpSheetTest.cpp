#include "ui/components/PermissionHelpSheet.h"

#include "ui/support/RealKeys.h"
#include "ui/support/UiTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class PermissionHelpSheetTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }
};

using Form = PermissionHelpSheet::Form;

QStringList buttonTexts(const PermissionHelpSheet& sheet)
{
    QStringList texts;
    for (auto* button : sheet.findChildren<QPushButton*>())
        texts << button->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
    return texts;
}

TEST_F(PermissionHelpSheetTest, EachFormKeepsItsShapeAndItsOwnNote)
{
    const struct {
        Form form;
        const char* name;
        const char* firstStep;
        const char* noteExample;
        QStringList buttons;
        const char* title;
    } forms[] = {
        {Form::systemSettings, "system settings", "1. Click \"Open System Settings\".", "/private/var/db",
         {"Files & Folders Settings", "Close", "Open System Settings"}, "Grant Full Disk Access"},
        // Full Disk Access is macOS's; here the sheet is about what an account may read.
        {Form::permissions, "permissions", "1. Find the folder", "/root", {"Close"}, "Grant Read Access"},
        {Form::sandbox, "sandbox", "1. On the Storage Access screen, copy the command", "/root", {"Close"},
         "Grant Read Access"},
    };
    for (const auto& f : forms) {
        SCOPED_TRACE(f.name);
        PermissionHelpSheet sheet(f.form);
        EXPECT_EQ(sheet.findChild<QWidget*>("title")->findChild<QLabel*>("title")->text(), f.title);
        EXPECT_EQ(sheet.windowTitle(), f.title);
        const QString steps = sheet.findChild<QLabel*>("steps")->text();
        EXPECT_EQ(steps, PermissionHelpSheet::stepsText(f.form));
        const QStringList lines = steps.split('\n');
        ASSERT_EQ(lines.size(), 5);
        EXPECT_TRUE(lines[0].startsWith(QString::fromUtf8(f.firstStep))) << lines[0].toStdString();
        EXPECT_TRUE(lines[3].isEmpty());
        const QString note = sheet.findChild<QLabel*>("note")->text();
        EXPECT_TRUE(note.contains(QString::fromUtf8(f.noteExample)));
        EXPECT_TRUE(note.endsWith("— this is expected."));
        EXPECT_EQ(buttonTexts(sheet), f.buttons);
        // The steps name a button only where the sheet has it.
        for (const char* title : {"Open System Settings", "Files & Folders Settings"})
            if (steps.contains(QString::fromUtf8(title))) {
                EXPECT_TRUE(f.buttons.contains(QString::fromUtf8(title))) << title;
            }
    }
    EXPECT_TRUE(PermissionHelpSheet::stepsText(Form::systemSettings)
                    .split('\n')[1]
                    .startsWith(QStringLiteral("2. In Privacy & Security \u25B8 Full Disk Access")));
}

TEST_F(PermissionHelpSheetTest, HereTheStepsAreAboutPermissionsAndNoButtonWouldOpenNothing)
{
    PermissionHelpSheet sheet;
    EXPECT_EQ(sheet.form(), Form::permissions);
    EXPECT_EQ(buttonTexts(sheet), QStringList{"Close"});
    EXPECT_FALSE(sheet.findChild<QLabel*>("steps")->text().contains("Click"));
}

// The link itself is one this system cannot open, so what Return does is press the button
// that opens it.
TEST_F(PermissionHelpSheetTest, ReturnPressesOpenSystemSettingsAndLeavesTheSheetOpen)
{
    PermissionHelpSheet sheet(Form::systemSettings);
    sheet.open();
    auto* open = sheet.findChild<QPushButton*>("openSettingsButton");
    ASSERT_NE(open, nullptr);
    QSignalSpy pressed(open, &QPushButton::clicked);
    pressOn(&sheet, Qt::Key_Return);
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_TRUE(sheet.isVisible());
    pressOn(&sheet, Qt::Key_Escape);
    EXPECT_FALSE(sheet.isVisible());
}

TEST_F(PermissionHelpSheetTest, CloseEscapeAndReturnEachCloseTheSheet)
{
    struct Case {
        const char* name;
        std::function<void(PermissionHelpSheet&)> close;
    };
    const Case cases[] = {
        {"Close", [](PermissionHelpSheet& s) { s.findChild<QPushButton*>("closeButton")->click(); }},
        {"Escape", [](PermissionHelpSheet& s) { pressOn(&s, Qt::Key_Escape); }},
        {"Return", [](PermissionHelpSheet& s) { pressOn(&s, Qt::Key_Return); }},
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
    for (const auto& [form, name] : {std::pair{Form::permissions, "permissions"}, std::pair{Form::sandbox, "sandbox"},
                                     std::pair{Form::systemSettings, "system-settings"}}) {
        PermissionHelpSheet sheet(form);
        sheet.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(sheet.width(), PermissionHelpSheet::sheetWidth);
        saveScreenshot(sheet, QStringLiteral("permission-help-sheet-") + QString::fromLatin1(name));
    }
}

} // namespace
