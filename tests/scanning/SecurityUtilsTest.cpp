#include "scanning/SecurityUtils.h"
#include "platform/LinuxSystemPlaces.h"
#include "support/ScopedEnvironment.h"
#include "support/ScratchBase.h"
#include "support/TempDir.h"
#include "support/ScriptedFileSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace {

const std::string topLevel = "Protected by the system: this is a top-level system folder.";
const std::string standardFolder =
    "Protected by the system: this is a standard folder your system expects to exist. You can remove items inside it instead.";
const std::string accountData = "Protected by the system: this location holds system or account data.";
const std::string otherUser = "This item belongs to another user account.";
const std::string ownFiles = "Kestrelmoor does not modify its own application or database files.";
// With the data and settings folders where the cases' environment puts them.
const std::string uninstall =
    "Moving an app to the Trash uninstalls it. Its settings and data in ~/.config and ~/.local/share are not "
    "removed.";
const std::string trashItself =
    "This is the Trash or part of it. Kestrelmoor cannot remove the Trash itself; empty it in your file manager "
    "instead.";
const std::string unreadableName =
    "A name on this item's path could not be read exactly, so Kestrelmoor cannot be sure which item it would "
    "move. Rename it in your file manager first.";
const std::string systemLibrary = "This item is in the system-wide Library and may be used by apps for all users.";

// Items judged against the disk live outside /tmp, which is itself a protected tree.
class ScratchDir : public TempDir {
public:
    ScratchDir() : TempDir(unprotectedScratchBase()) {}
};

std::string tree(const char* root) { return std::string("Protected by the system: items in ") + root + " are part of the operating system."; }
std::string temporary(const char* root)
{
    return std::string("Protected by the system: ") + root +
           " holds the temporary files of running programs, and the system clears it itself.";
}
const std::string appData = "This is app data. Removing it can reset or break the app that owns it.";
const std::string appSettings = "This is an app's settings. Removing it resets that app's preferences.";

} // namespace

TEST(SecurityUtils, VerdictsFromThePathAlone)
{
    const std::string home = "/home/ann";
    ScopedEnvironment data("XDG_DATA_HOME", "/home/ann/.local/share");
    ScopedEnvironment config("XDG_CONFIG_HOME", "/home/ann/.config");
    const std::vector<std::string> own = {"/opt/kestrelmoor/bin/kestrelmoor", "/home/ann/.local/share/Kestrelmoor"};
    struct Case { const char* path; PathSafety expected; };
    const Case cases[] = {
        {"a/b", PathSafety::protected_("Only absolute paths can be modified.")},
        {"", PathSafety::protected_("Only absolute paths can be modified.")},
        {"/", PathSafety::protected_(topLevel)},
        {"/System/Volumes/Data/Users/Shared", PathSafety::protected_(topLevel)},
        {"/Library/Logs", PathSafety::protected_(topLevel)},
        {"/Library/Logs/app.log", PathSafety::caution(systemLibrary)},
        {"/usr/local/bin/tool", PathSafety::protected_(tree("/usr"))},
        {"/USR/X", PathSafety::protected_(tree("/usr"))},
        {"/Library/Audio/Plug-Ins/HAL/x", PathSafety::protected_(tree("/Library/Audio/Plug-Ins/HAL"))},
        // The Linux system places.
        {"/home", PathSafety::protected_(topLevel)},
        {"/mnt", PathSafety::protected_(topLevel)},
        {"/mnt/usb/photo.jpg", PathSafety::allowed()},
        {"/proc/1/status", PathSafety::protected_(tree("/proc"))},
        {"/lib64", PathSafety::protected_(tree("/lib64"))},
        {"/library/x", PathSafety::caution(systemLibrary)},
        {"/libx", PathSafety::allowed()},
        {"/boot/vmlinuz", PathSafety::protected_(tree("/boot"))},
        {"/opt/kestrelmoor/bin/kestrelmoor", PathSafety::protected_(ownFiles)},
        {"/home/ann/.local/share/Kestrelmoor/ScanCache.sqlite", PathSafety::protected_(ownFiles)},
        {"/home/ann", PathSafety::protected_(standardFolder)},
        {"/home/ann/", PathSafety::protected_(standardFolder)},
        {"/home/ann/Documents", PathSafety::protected_(standardFolder)},
        {"/home/ann/.config", PathSafety::protected_(standardFolder)},
        {"/home/ann/Documents/report.pdf", PathSafety::allowed()},
        {"/home/ann/Library/Mail/V10", PathSafety::protected_(accountData)},
        {"/home/ann/.local/share/flatpak/app/org.example.Flat", PathSafety::protected_(accountData)},
        // What apps keep in the data and config folders, as in Application Support and Preferences.
        {"/home/ann/.local/share/flatpaks", PathSafety::caution(appData)},
        {"/home/ann/.config/editor/settings.ini", PathSafety::caution(appSettings)},
        // A temporary file is the system's, and the refusal says why in its words.
        {"/tmp/build/output.o", PathSafety::protected_(temporary("/tmp"))},
        {"/var/tmp/cache", PathSafety::protected_(temporary("/var/tmp"))},
        {"/home/ann/Library/Containers", PathSafety::protected_(standardFolder)},
        {"/home/ann/Library/Containers/com.app",
         PathSafety::caution("This is an app's private data. Removing it can reset or break that app.")},
        {"/home/ann/.ssh", PathSafety::protected_(standardFolder)},
        {"/home/ann/.ssh/id_ed25519", PathSafety::caution("This folder contains SSH keys.")},
        {"/home/bob/notes.txt", PathSafety::protected_(otherUser)},
        {"/home/annie", PathSafety::protected_(otherUser)},
        {"/Users/Shared/x", PathSafety::allowed()},
        {"/Applications/Safari.app/Contents", PathSafety::protected_("Protected by the system: Safari is part of macOS.")},
        {"/Applications/Editor.app", PathSafety::caution(uninstall)},
        {"/home/ann/Applications/Tool.app", PathSafety::caution(uninstall)},
        {"/Applications", PathSafety::protected_(topLevel)},
        {"/srv/www/index.html", PathSafety::allowed()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecurityUtils::evaluate(c.path, home, own, false), c.expected) << c.path;
}

TEST(SecurityUtils, LinuxKeychainsAndDataFoldersOfTheHome)
{
    const std::string home = "/home/ann";
    ScopedEnvironment data("XDG_DATA_HOME", "/home/ann/.data");
    ScopedEnvironment config("XDG_CONFIG_HOME", "/home/ann/.config");
    struct Case { const char* path; PathSafety expected; };
    const Case cases[] = {
        // The keychains of a Linux desktop, like ~/Library/Keychains: never moved.
        {"/home/ann/.local/share/keyrings", PathSafety::protected_(accountData)},
        {"/home/ann/.local/share/keyrings/login.keyring", PathSafety::protected_(accountData)},
        {"/home/ann/.local/share/kwalletd/kdewallet.kwl", PathSafety::protected_(accountData)},
        {"/home/ann/.gnupg", PathSafety::protected_(standardFolder)},
        {"/home/ann/.gnupg/private-keys-v1.d/A1.key", PathSafety::protected_(accountData)},
        {"/home/ann/.pki/nssdb/cert9.db", PathSafety::protected_(accountData)},
        {"/home/ann/.pkix", PathSafety::allowed()},
        // SSH keys as on macOS: the folder stays, a key inside may go with a warning.
        {"/home/ann/.ssh", PathSafety::protected_(standardFolder)},
        {"/home/ann/.ssh/id_ed25519", PathSafety::caution("This folder contains SSH keys.")},
        // The data folders themselves, like ~/Library, stay; what they hold may go.
        {"/home/ann/.local", PathSafety::protected_(standardFolder)},
        {"/home/ann/.local/share", PathSafety::protected_(standardFolder)},
        {"/home/ann/.config", PathSafety::protected_(standardFolder)},
        {"/home/ann/.cache", PathSafety::protected_(standardFolder)},
        {"/home/ann/.cache/thumbnails", PathSafety::allowed()},
        // The data and config folders are where the environment says: their contents come with a caution.
        {"/home/ann/.config/old-editor", PathSafety::caution(appSettings)},
        {"/home/ann/.local/share/old-game", PathSafety::allowed()},
        {"/home/ann/.data/old-game", PathSafety::caution(appData)},
        {"/home/ann/.local/bin/tool", PathSafety::allowed()},
        // The home Trash, wherever $XDG_DATA_HOME puts it, and all it holds: moving any of it
        // into the Trash loses restore records.
        {"/home/ann/.data/Trash", PathSafety::protected_(trashItself)},
        {"/home/ann/.data/Trash/info", PathSafety::protected_(trashItself)},
        {"/home/ann/.data/Trash/info/old.txt.trashinfo", PathSafety::protected_(trashItself)},
        {"/home/ann/.data/Trash/files", PathSafety::protected_(trashItself)},
        {"/home/ann/.data/Trash/files/old.txt", PathSafety::protected_(trashItself)},
        {"/home/ann/.data/Trashed/old.txt", PathSafety::caution(appData)},
        // A repaired name anywhere on the path: the row may stand for a sibling.
        {"/mnt/usb/a\xEF\xBF\xBD/victim", PathSafety::protected_(unreadableName)},
        {"/mnt/usb/a\xEF\xBF\xBD", PathSafety::protected_(unreadableName)},
        {"/home/ann/photos/caf\xEF\xBF\xBD.jpg", PathSafety::protected_(unreadableName)},
        {"/mnt/usb/caf\xC3\xA9.jpg", PathSafety::allowed()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecurityUtils::evaluate(c.path, home, {}, false), c.expected) << c.path;
}

TEST(SecurityUtils, APathBeyondTheKernelLimitIsRefusedForWhatItIs)
{
    std::string path = "/mnt/usb";
    while (path.size() < 4095)
        path += "/" + std::string(200, 'd');
    const PathSafety tooLong = PathSafety::protected_("This item's path is too long for it to be moved to the Trash safely.");
    EXPECT_EQ(SecurityUtils::evaluate(path, "/home/ann", {}, false), tooLong);
    EXPECT_EQ(SecurityUtils::evaluate(path + "/file.txt", "/home/ann", {}, true), tooLong);
    EXPECT_EQ(SecurityUtils::evaluate(path.substr(0, 4000), "/home/ann", {}, false), PathSafety::allowed());
}

TEST(SecurityUtils, TheTrashAtTheTopOfAVolumeIsProtectedToo)
{
    ScriptedFileSystem fileSystem;
    // The root file system is always mounted, so its top is a volume's top.
    for (const std::string path : {"/.Trash-1000", "/.Trash-1000/files/photo.jpg", "/.Trash/1000/info/a.trashinfo",
                                   "/.Trash"})
        EXPECT_EQ(SecurityUtils::evaluate(path, "/home/ann", {}, true, fileSystem), PathSafety::protected_(trashItself))
            << path;
    for (const std::string path : {"/.Trash-old/x", "/.Trashes"})
        EXPECT_NE(SecurityUtils::evaluate(path, "/home/ann", {}, true, fileSystem), PathSafety::protected_(trashItself))
            << path;
}

TEST(SecurityUtils, EveryLinuxSystemPlaceIsProtectedAsTheScanCountsIt)
{
    for (const std::string_view place : LinuxSystemPlaces::trees()) {
        const std::string root(place);
        EXPECT_EQ(SecurityUtils::evaluate(root + "/x", "/home/ann", {}, false),
                  PathSafety::protected_(root == "/tmp" ? temporary("/tmp") : tree(root.c_str())));
    }
    for (const std::string_view place : LinuxSystemPlaces::folders()) {
        const std::string folder(place);
        EXPECT_EQ(SecurityUtils::evaluate(folder, "/home/ann", {}, false), PathSafety::protected_(topLevel)) << folder;
        if (folder != "/home") {
            EXPECT_EQ(SecurityUtils::evaluate(folder + "/site/x", "/home/ann", {}, false), PathSafety::allowed()) << folder;
        }
    }
}

TEST(SecurityUtils, FileSystemChecksRefuseWhatCannotBeMoved)
{
    ScratchDir dir;
    const std::string home = dir.makeFolder("home");
    const std::string locked = dir.write("data/locked.txt", "x");
    const std::string plain = dir.write("data/plain.txt", "x");
    const std::string guarded = dir.write("guarded/file.txt", "x");
    const std::string mounted = dir.write("cdrom/file.txt", "x");
    ScriptedFileSystem fileSystem;
    fileSystem.immutable.insert(locked);
    fileSystem.readOnlyFolders.insert(dir.file("guarded"));
    fileSystem.readOnlyVolumes.insert(dir.file("cdrom"));

    struct Case { std::string path; PathSafety expected; };
    const Case cases[] = {
        {locked, PathSafety::protected_("This item is locked and cannot be moved.")},
        {guarded,
         PathSafety::protected_("You don't have permission to modify the folder that contains this item.")},
        {mounted, PathSafety::protected_("This item is on a read-only volume.")},
        {dir.file("data/gone.txt"), PathSafety::protected_("The item no longer exists or cannot be read.")},
        {plain, PathSafety::allowed()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecurityUtils::evaluate(c.path, home, {}, true, fileSystem), c.expected) << c.path;
    // Judged by its text alone, a missing item raises no objection.
    EXPECT_EQ(SecurityUtils::evaluate(dir.file("data/gone.txt"), home, {}, false, fileSystem), PathSafety::allowed());
}

TEST(SecurityUtils, SymlinkedHomeAndCacheFolderAreStillRecognised)
{
    // …/home/ann is a link to …/disk/ann, as when home folders live on another volume.
    ScratchDir dir;
    const std::string realHome = dir.makeFolder("disk/ann");
    dir.makeFolder("disk/ann/Documents");
    dir.makeFolder("disk/ann/.local/share/Kestrelmoor");
    dir.write("disk/ann/.local/share/Kestrelmoor/ScanCache.sqlite", "x");
    dir.makeFolder("home");
    const std::string home = dir.file("home/ann");
    ASSERT_EQ(::symlink(realHome.c_str(), home.c_str()), 0);
    const std::vector<std::string> own = {home + "/.local/share/Kestrelmoor"};

    struct Case { std::string path; PathSafety expected; };
    const Case cases[] = {
        {home + "/Documents", PathSafety::protected_(standardFolder)},
        {realHome + "/Documents", PathSafety::protected_(standardFolder)},
        {home, PathSafety::protected_(standardFolder)},
        {home + "/.local/share/Kestrelmoor/ScanCache.sqlite", PathSafety::protected_(ownFiles)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecurityUtils::evaluate(c.path, home, own, true), c.expected) << c.path;
}

TEST(SecurityUtils, NormalizedPaths)
{
    EXPECT_EQ(SecurityUtils::normalized("/tmp/", false), "/tmp");
    EXPECT_EQ(SecurityUtils::normalized("/a//b/./c/../d", false), "/a/b/d");
    EXPECT_EQ(SecurityUtils::normalized("/System/Volumes/Data/Users", false), "/System/Volumes/Data/Users");
    EXPECT_EQ(SecurityUtils::normalized("/System/Volumes/Data/Users/x", true), "/Users/x");
    EXPECT_EQ(SecurityUtils::normalized("/", true), "/");

    TempDir dir;
    dir.makeFolder("real");
    ASSERT_EQ(::symlink(dir.file("real").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("real").c_str(), dir.file("real/self").c_str()), 0);
    // The parent is resolved, the last component never is.
    EXPECT_EQ(SecurityUtils::normalized(dir.file("link/item"), true), dir.file("real/item"));
    EXPECT_EQ(SecurityUtils::normalized(dir.file("real/self"), true), dir.file("real/self"));
    EXPECT_EQ(SecurityUtils::normalized("/no/such/folder/x", true), "/no/such/folder/x");
}

TEST(SecurityUtils, ProcessesThatMayNotBeQuit)
{
    const std::uint32_t me = 501;
    struct Case { std::int32_t pid; const char* name; std::optional<std::string> path; std::optional<std::uint32_t> owner; std::optional<std::string> refusal; std::int32_t parent = 1; };
    const std::string session = "Protected by the system: your system needs this process.";
    const std::string component = "Protected by the system: this is a system component.";
    const std::string core = "Protected by the system: core system process.";
    const Case cases[] = {
        {1, "init", std::nullopt, me, "Protected by the system: core system process."},
        {0, "kernel", std::nullopt, me, "Protected by the system: core system process."},
        {::getpid(), "kestrelmoor", std::nullopt, me, "This is Kestrelmoor itself. Use Kestrelmoor \u25B8 Quit instead."},
        {4000, "Finder", std::nullopt, me, "Protected by the system: your system needs this process."},
        {4000, "finder", std::nullopt, me, std::nullopt},
        {4000, "editor", std::nullopt, std::nullopt, "Kestrelmoor can't read who owns this process."},
        {4000, "editor", std::nullopt, 0u, "This process belongs to another user or to the system."},
        {4000, "tool", std::string("/USR/SBIN/x"), me, component},
        {4000, "tool", std::string("/usr/local/bin/tool"), me, std::nullopt},
        {4000, "editor", std::string("/opt/editor/editor"), me, std::nullopt},
        // A user's own programs live in /usr/bin too: the name and owner decide there.
        {4000, "tool", std::string("/usr/bin/tool"), me, std::nullopt},
        {4000, "tool", std::string("/bin/tool"), me, std::nullopt},
        {4000, "Xorg", std::string("/usr/lib/xorg/Xorg"), me, session},
        // Kernel threads: kthreadd and its children, without an executable.
        {2, "kthreadd", std::nullopt, me, core, 0},
        {4000, "kworker/0:1", std::nullopt, me, core, 2},
        {4000, "editor", std::nullopt, me, std::nullopt, 2000},
        // The user's systemd manager and the session around it.
        {4000, "systemd", std::string("/usr/lib/systemd/systemd"), me, session},
        {4000, "systemd (deleted)", std::string("/usr/lib/systemd/systemd (deleted)"), me, session},
        {4000, "(sd-pam)", std::nullopt, me, session},
        {4000, "Xwayland", std::string("/usr/bin/Xwayland"), me, session},
        {4000, "gnome-shell", std::string("/usr/bin/gnome-shell"), me, session},
        {4000, "kwin_wayland", std::string("/usr/bin/kwin_wayland"), me, session},
        {4000, "kwin_x11", std::string("/usr/bin/kwin_x11"), me, session},
        {4000, "plasmashell", std::string("/usr/bin/plasmashell"), me, session},
        {4000, "xfwm4", std::string("/usr/bin/xfwm4"), me, session},
        {4000, "gnome-session-binary", std::string("/usr/libexec/gnome-session-binary"), me, session},
        {4000, "gnome-session-b", std::nullopt, me, session}, // the kernel's 15-byte name
        {4000, "ksmserver", std::string("/usr/bin/ksmserver"), me, session},
        {4000, "dbus-daemon", std::string("/usr/bin/dbus-daemon"), me, session},
        {4000, "dbus-broker", std::string("/usr/bin/dbus-broker"), me, session},
        {4000, "pipewire", std::string("/usr/bin/pipewire"), me, session},
        {4000, "wireplumber", std::string("/usr/bin/wireplumber"), me, session},
        {4000, "pulseaudio", std::string("/usr/bin/pulseaudio"), me, session},
        {4000, "xdg-desktop-portal-gtk", std::string("/usr/libexec/xdg-desktop-portal-gtk"), me, session},
        {4000, "xdg-desktop-por", std::nullopt, me, session},
        {4000, "helper", std::string("/usr/lib/systemd/systemd-helper"), me, component},
        {4000, "helper", std::string("/usr/libexec/helper (deleted)"), me, component},
        {4000, "editor (deleted)", std::string("/usr/local/bin/editor (deleted)"), me, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecurityUtils::evaluateProcess(c.pid, c.name, c.path, c.owner, me, c.parent).refusal, c.refusal)
            << c.name;
}
