#include "app/system/RunningApplications.h"

#include "support/FakeProcessWindows.h"
#include "platform/ProcessIdentity.h"
#include "platform/ProcessSignaller.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

namespace {

ProcessSnapshot process(std::int32_t pid, std::optional<std::string> executable,
                        std::optional<std::string> session = std::nullopt)
{
    ProcessSnapshot p;
    p.pid = pid;
    p.executablePath = std::move(executable);
    p.sessionAppID = std::move(session);
    p.memoryBytes = 1000;
    p.cpuPercent = 2.0;
    return p;
}

} // namespace

TEST(RunningApplications, MatchesProcessesToApplications)
{
    ApplicationInfo debian;
    debian.name = "Editor";
    debian.path = "/usr/share/applications/org.example.Editor.desktop";
    debian.desktopEntryPath = debian.path;
    debian.desktopEntryID = "org.example.Editor.desktop";
    debian.bundleIdentifier = "org.example.Editor";
    debian.executablePath = "/usr/bin/editor";
    debian.source = InstallSource::debian;
    debian.packageName = "editor";

    ApplicationInfo flatpak;
    flatpak.name = "Flat";
    flatpak.path = "/var/lib/flatpak/app/org.example.Flat/x86_64/stable/ab12";
    flatpak.desktopEntryPath = "/var/lib/flatpak/exports/share/applications/org.example.Flat.desktop";
    flatpak.desktopEntryID = "org.example.Flat.desktop";
    flatpak.bundleIdentifier = "org.example.Flat";
    flatpak.source = InstallSource::flatpak;
    flatpak.packageName = "org.example.Flat";

    ApplicationInfo snap;
    snap.name = "Snapped";
    snap.path = "/snap/snapped/12";
    snap.desktopEntryID = "snapped_snapped.desktop";
    snap.bundleIdentifier = "snapped_snapped";
    snap.source = InstallSource::snap;
    snap.packageName = "snapped";

    ApplicationInfo bundle;
    bundle.name = "Foo";
    bundle.path = "/Applications/Foo.app";

    const struct {
        const char* what;
        ProcessSnapshot process;
        const ApplicationInfo* app;
    } cases[] = {
        {"its executable", process(10, "/usr/bin/editor"), &debian},
        {"its executable replaced by an upgrade", process(11, "/usr/bin/editor (deleted)"), &debian},
        {"its session scope", process(12, "/usr/bin/python3", "org.example.Editor"), &debian},
        {"a package name is no scope of a Debian package", process(13, "/usr/bin/python3", "editor"), nullptr},
        {"the desktop entry is no folder", process(14, debian.path + "/x"), nullptr},
        {"inside the deploy folder", process(15, flatpak.path + "/files/bin/flat"), &flatpak},
        {"a Flatpak's scope", process(16, "/app/bin/flat", "org.example.Flat"), &flatpak},
        {"a snap's scope", process(17, "/snap/snapped/12/usr/bin/snapped", "snapped"), &snap},
        {"inside a bundle", process(18, "/Applications/Foo.app/Contents/MacOS/Foo"), &bundle},
        {"next to a bundle", process(19, "/Applications/Foo.appendix/bin/x"), nullptr},
        {"another program", process(20, "/usr/bin/other", "org.example.Other"), nullptr},
        {"nothing known", process(21, std::nullopt), nullptr},
    };
    const std::vector<ApplicationInfo> apps = {debian, flatpak, snap, bundle};
    for (const auto& c : cases) {
        const auto* found = RunningApplications::applicationOf(c.process, apps);
        EXPECT_EQ(found ? found->name : "none", c.app ? c.app->name : "none") << c.what;
    }

    std::vector<ProcessSnapshot> processes;
    for (const auto& c : cases) processes.push_back(c.process);
    processes[1].memoryBytes.reset();
    const auto usage = RunningApplications::usage(debian, processes);
    EXPECT_EQ(usage.pids, (std::vector<std::int32_t>{10, 11, 12}));
    EXPECT_EQ(usage.memoryBytes, 2000);
    EXPECT_EQ(usage.restrictedProcessCount, 1);
    EXPECT_DOUBLE_EQ(usage.cpuPercent, 6.0);

    EXPECT_TRUE(RunningApplications::canLaunch(debian));
    EXPECT_FALSE(RunningApplications::canLaunch(bundle));
    EXPECT_TRUE(RunningApplications::launch(bundle));
}

TEST(RunningApplications, BringToFrontRaisesTheProcesssOwnWindowAndStartsNothing)
{
    ChildProcess child("/usr/bin/sleep");
    const auto identity = ProcessIdentity::read(child.pid());
    ASSERT_TRUE(identity);
    ProcessSnapshot process;
    process.pid = child.pid();
    process.name = "sleep";
    process.startTicks = identity->startTicks;
    ProcessSnapshot replaced = process;
    replaced.startTicks = identity->startTicks + 1;
    ProcessSnapshot gone = process;
    gone.pid = 999'999'999;

    struct Case {
        const char* what;
        ProcessSnapshot process;
        std::optional<std::string> refusal;
        std::vector<ProcessWindows::Window> windows;
        bool takesRequests;
        std::optional<std::string> refused; // frontRefusal
        std::optional<std::string> failure; // bringToFront
        std::vector<ProcessWindows::Window> activated;
    } cases[] = {
        {"first window raised", process, std::nullopt, {0x400001, 0x400007}, true, std::nullopt, std::nullopt, {0x400001}},
        {"no window", process, std::nullopt, {}, true, RunningApplications::noWindowText, RunningApplications::noWindowText, {}},
        {"session refuses", process, ProcessWindows::waylandText, {0x400001}, true, ProcessWindows::waylandText,
         ProcessWindows::waylandText, {}},
        {"request not taken", process, std::nullopt, {0x400001}, false, std::nullopt, RunningApplications::frontFailedText,
         {0x400001}},
        {"pid reused", replaced, std::nullopt, {0x400001}, true, std::nullopt, ProcessSignaller::replacedText, {}},
        {"process gone", gone, std::nullopt, {}, true, RunningApplications::noWindowText, ProcessSignaller::endedText, {}},
    };
    for (const auto& c : cases) {
        FakeProcessWindows windows;
        windows.refusal = c.refusal;
        windows.windows[c.process.pid] = c.windows;
        windows.takesRequests = c.takesRequests;
        EXPECT_EQ(RunningApplications::frontRefusal(c.process, windows), c.refused) << c.what;
        EXPECT_EQ(RunningApplications::bringToFront(c.process, windows), c.failure) << c.what;
        EXPECT_EQ(windows.activated, c.activated) << c.what;
    }
    EXPECT_TRUE(child.isRunning());
}
