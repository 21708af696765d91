#include "platform/X11ProcessWindows.h"

#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

TEST(ProcessWindows, TheSessionDecidesWhetherAWindowCanBeRaised)
{
    struct Case {
        const char* display;
        const char* wayland;
        const char* sessionType;
        const char* qtPlatform;
        std::optional<std::string> refusal;
    } cases[] = {
        {":0", "", "x11", "", std::nullopt},
        {":0", "", "", "xcb", std::nullopt},
        {"", "", "tty", "", ProcessWindows::noDisplayText},
        {":0", "wayland-0", "wayland", "", ProcessWindows::waylandText},
        {":0", "", "wayland", "", ProcessWindows::waylandText},
        {":0", "", "", "wayland-egl", ProcessWindows::waylandText},
        {"", "wayland-1", "", "", ProcessWindows::waylandText},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcessWindows::sessionRefusal(c.display, c.wayland, c.sessionType, c.qtPlatform), c.refusal)
            << c.display << " | " << c.wayland << " | " << c.sessionType << " | " << c.qtPlatform;
}

TEST(X11ProcessWindows, WithoutADisplayNothingIsListedOrRaised)
{
    ScopedEnvironment display("DISPLAY", "");
    X11ProcessWindows windows;
    EXPECT_TRUE(windows.activationRefusal().has_value());
    EXPECT_TRUE(windows.windowsOf(::getpid()).empty());
    EXPECT_FALSE(windows.activate(1));
    EXPECT_FALSE(windows.takesCloseRequests());
}

// Needs an X11 display with a window manager, and xterm, which names its process
// on its window; skipped elsewhere.
TEST(X11ProcessWindows, RaisesTheWindowOfARealClient)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display || !std::filesystem::exists("/usr/bin/xterm"))
        GTEST_SKIP() << "no X11 display or no xterm";
    X11ProcessWindows windows;
    if (windows.activationRefusal()) GTEST_SKIP() << *windows.activationRefusal();

    ChildProcess first("/usr/bin/xterm", "+sb");
    ChildProcess second("/usr/bin/xterm", "+sb");
    std::vector<ProcessWindows::Window> firstWindows, secondWindows;
    eventually([&] {
        firstWindows = windows.windowsOf(first.pid());
        secondWindows = windows.windowsOf(second.pid());
        return !firstWindows.empty() && !secondWindows.empty();
    });
    ASSERT_EQ(firstWindows.size(), 1u);
    ASSERT_EQ(secondWindows.size(), 1u);
    for (const auto& target : {firstWindows.front(), secondWindows.front(), firstWindows.front()}) {
        ASSERT_TRUE(windows.activate(target));
        EXPECT_TRUE(eventually([&] { return windows.activeWindow() == target; })) << target;
    }
    EXPECT_TRUE(first.isRunning());
}
