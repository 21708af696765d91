#include "platform/qt/DBusDesktopServices.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DBusDesktopServices, FallsBackToTheToolkitWithoutAFileManager)
{
    // No session bus: neither a file manager nor the portal can answer.
    ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrel-test-bus");
    std::vector<std::string> opened;
    std::vector<std::string> copied;
    int beeps = 0;
    DBusDesktopServices::Toolkit toolkit;
    toolkit.beep = [&] { ++beeps; };
    toolkit.open = [&](const std::string& path) {
        opened.push_back(path);
        return path != "/srv/missing";
    };
    toolkit.copyText = [&](const std::string& text) { copied.push_back(text); };
    DBusDesktopServices desktop(toolkit);
    desktop.revealItems({"/srv/data/a.txt", "/srv/other/b.txt"});
    desktop.openFolder("/srv/data");
    EXPECT_TRUE(desktop.openItem("/srv/data/a.txt"));
    EXPECT_FALSE(desktop.openItem("/srv/missing"));
    desktop.copyText("a\nb");
    desktop.beep();
    EXPECT_EQ(opened, (std::vector<std::string>{"/srv/data", "/srv/data", "/srv/data/a.txt", "/srv/missing"}));
    EXPECT_EQ(copied, (std::vector<std::string>{"a\nb"}));
    EXPECT_EQ(beeps, 1);

    DBusDesktopServices bare;
    EXPECT_FALSE(bare.openItem("/srv/data/a.txt"));
    bare.copyText("nothing happens");
    bare.beep();
}
