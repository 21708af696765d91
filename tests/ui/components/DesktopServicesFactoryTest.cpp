#include "ui/components/DesktopServicesFactory.h"

#include "platform/DesktopServices.h"
#include "scanning/FinderActions.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"

#include <QUrl>

#include <gtest/gtest.h>

namespace {

// A desktop without a file manager or portal on the bus: what is left is the
// toolkit's opener, and when that fails too the user must hear of it.
TEST(DesktopServicesFactoryTest, WhenNothingCanBeAskedToShowAnItemTheUserIsTold)
{
    ensureApplication();
    ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrel-test-bus");
    TempDir tree;
    const std::string file = tree.write("Downloads/report.pdf", "pdf");
    const std::string folder = tree.file("Downloads");

    const struct {
        const char* name;
        bool opens;
        std::function<void(DesktopServices&)> act;
        std::vector<std::string> told;   // the items the user is told about
        std::vector<std::string> asked;  // what the opener was asked to open
    } cases[] = {
        {"reveal, nothing opens", false, [&](DesktopServices& d) { FinderActions::reveal({file}, d); }, {folder},
         {folder}},
        {"reveal, the opener shows the folder", true, [&](DesktopServices& d) { FinderActions::reveal({file}, d); },
         {}, {folder}},
        {"open, nothing opens", false, [&](DesktopServices& d) { EXPECT_FALSE(d.openItem(file)); }, {file}, {file}},
        {"open", true, [&](DesktopServices& d) { EXPECT_TRUE(d.openItem(file)); }, {}, {file}},
        {"show a folder, nothing opens", false, [&](DesktopServices& d) { d.openFolder(folder); }, {folder}, {folder}},
        // A path that is gone is only a beep: nothing was asked.
        {"reveal a missing item", false, [&](DesktopServices& d) { FinderActions::reveal({file + ".gone"}, d); }, {},
         {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> told;
        std::vector<std::string> asked;
        const auto desktop = makeDesktopServices([&](const std::string& path) { told.push_back(path); },
                                                 [&](const QUrl& url) {
                                                     asked.push_back(url.toLocalFile().toStdString());
                                                     return c.opens;
                                                 });
        c.act(*desktop);
        EXPECT_EQ(told, c.told) << c.name;
        EXPECT_EQ(asked, c.asked) << c.name;
    }
}

// After an export the saved file is shown as a courtesy: where nothing can show it, the save still
// ends without a warning.
TEST(DesktopServicesFactoryTest, AQuietShowTellsNoOneThatNothingCouldShowTheItem)
{
    ensureApplication();
    ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrel-test-bus");
    TempDir dir;
    const std::string file = dir.write("list.csv", "a");
    std::vector<std::string> told;
    std::vector<std::string> asked;
    const auto desktop = makeDesktopServices([&](const std::string& path) { told.push_back(path); },
                                             [&](const QUrl& url) {
                                                 asked.push_back(url.toLocalFile().toStdString());
                                                 return false;
                                             });
    {
        const QuietShowing quiet;
        EXPECT_TRUE(QuietShowing::isActive());
        FinderActions::reveal({file}, *desktop);
    }
    EXPECT_FALSE(QuietShowing::isActive());
    EXPECT_EQ(asked, std::vector<std::string>{dir.path()});
    EXPECT_TRUE(told.empty());
    // Asked for by the user, the same failure is told.
    FinderActions::reveal({file}, *desktop);
    EXPECT_EQ(told, std::vector<std::string>{dir.path()});
}

TEST(DesktopServicesFactoryTest, TheAlertNamesTheItemWithTheHomeShortened)
{
    ScopedEnvironment home("HOME", "/home/ada");
    const AppAlert alert = nothingCouldOpenAlert("/home/ada/Downloads");
    EXPECT_EQ(alert.title, "Nothing could show this item");
    EXPECT_EQ(alert.message, "No file manager answered and no application could be started to open \u201C~/Downloads\u201D. "
                             "Install a file manager to show and open items from Kestrelmoor.");
}

} // namespace
