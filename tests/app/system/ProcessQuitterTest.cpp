#include "app/system/ProcessQuitter.h"

#include "app/system/ProcessMonitor.h"
#include "platform/ProcessSignaller.h"
#include "support/ChildProcess.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <unistd.h>

namespace {

// The process as the sampler described it when the confirmation was opened.
ProcessSnapshot sampled(pid_t pid)
{
    auto snapshot = ProcessMonitor().basicInfo(pid);
    EXPECT_TRUE(snapshot);
    return snapshot.value_or(ProcessSnapshot{});
}

// A copy of sleep under another name, for processes that must not be quit.
std::string programNamed(const TempDir& dir, const std::string& name)
{
    const std::string path = dir.file(name);
    std::filesystem::copy_file("/bin/sleep", path);
    return path;
}

} // namespace

TEST(ProcessQuitter, QuitsTheProcessTheConfirmationNamed)
{
    for (const bool force : {false, true}) {
        ChildProcess child("/bin/sleep");
        EXPECT_EQ(ProcessQuitter::quit(sampled(child.pid()), force), std::nullopt);
        EXPECT_EQ(child.endingSignal(), force ? SIGKILL : SIGTERM);
    }
}

TEST(ProcessQuitter, NeverSignalsAPidThatPassedToAnotherProcess)
{
    ChildProcess child("/bin/sleep");
    const auto named = sampled(child.pid());
    auto restarted = named;
    restarted.startTicks = *named.startTicks + 100;
    auto otherProgram = named;
    otherProgram.executablePath = "/usr/bin/editor";
    auto unknownStart = named;
    unknownStart.startTicks.reset();
    for (const bool force : {false, true}) {
        EXPECT_EQ(ProcessQuitter::quit(restarted, force), ProcessSignaller::replacedText);
        EXPECT_EQ(ProcessQuitter::quit(otherProgram, force), ProcessSignaller::replacedText);
        EXPECT_EQ(ProcessQuitter::quit(unknownStart, force),
                  "Kestrelmoor can't tell whether this is still the same process.");
    }
    EXPECT_TRUE(child.isRunning());

    ::kill(child.pid(), SIGKILL);
    child.reap();
    EXPECT_EQ(ProcessQuitter::quit(named, false), ProcessSignaller::endedText);
}

TEST(ProcessQuitter, RefusedProcessesStayAlive)
{
    TempDir dir;
    const std::string session = "Protected by the system: your system needs this process.";
    for (const char* name : {"Xorg", "Xwayland", "gnome-shell", "kwin_wayland", "plasmashell", "xfwm4", "systemd",
                             "dbus-daemon", "dbus-broker", "pipewire", "wireplumber", "pulseaudio",
                             "xdg-desktop-portal-gtk", "gnome-session-binary"}) {
        ChildProcess child(programNamed(dir, name));
        for (const bool force : {false, true})
            EXPECT_EQ(ProcessQuitter::quit(sampled(child.pid()), force), session) << name;
        EXPECT_TRUE(child.isRunning()) << name;
    }

    EXPECT_EQ(ProcessQuitter::quit(sampled(::getpid()), true),
              "This is Kestrelmoor itself. Use Kestrelmoor \u25B8 Quit instead.");
    EXPECT_EQ(ProcessQuitter::quit(sampled(1), true), "Protected by the system: core system process.");
}

TEST(ProcessQuitter, ConfirmationPromisesASavePromptOnlyWhereWindowsCanBeAsked)
{
    EXPECT_EQ(ProcessQuitter::confirmationMessage(true, true), "The process stops immediately. Unsaved work will be lost.");
    EXPECT_EQ(ProcessQuitter::confirmationMessage(false, true), "The app may ask you to save changes first.");
    EXPECT_EQ(ProcessQuitter::confirmationMessage(false, false).find("save changes first"), std::string::npos);
    EXPECT_NE(ProcessQuitter::confirmationMessage(false, false).find("Unsaved work may be lost."), std::string::npos);

    // Without an X11 display (or with one that does not answer) only the signal can be sent.
    ChildProcess child("/bin/sleep");
    for (const char* display : {"", ":97"}) {
        ScopedEnvironment environment("DISPLAY", display);
        EXPECT_FALSE(ProcessQuitter::canAskToSave(sampled(child.pid()))) << display;
    }
    ScopedEnvironment environment("DISPLAY", ":97");
    EXPECT_EQ(ProcessQuitter::quit(sampled(child.pid()), false), std::nullopt);
    EXPECT_EQ(child.endingSignal(), SIGTERM);
}
