#include "app/PermissionManager.h"
#include "platform/SystemPaths.h"
#include "support/Eventually.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// A temporary folder standing in as the user's home for the whole test.
class PermissionManagerTest : public ::testing::Test {
protected:
    PermissionManagerTest()
    {
        if (const char* old = std::getenv("HOME")) oldHome_ = old;
        ::setenv("HOME", dir.path().c_str(), 1);
    }
    ~PermissionManagerTest() override
    {
        if (oldHome_)
            ::setenv("HOME", oldHome_->c_str(), 1);
        else
            ::unsetenv("HOME");
    }

    std::string home() const { return SystemPaths::homeDirectory(); }
    void link(const std::string& target, const std::string& relative) const
    {
        ASSERT_EQ(::symlink(target.c_str(), dir.file(relative).c_str()), 0);
    }

    TempDir dir;

private:
    std::optional<std::string> oldHome_;
};

// Runs a probe that must answer promptly, even where a blocking open would hang.
template <class Probe>
auto promptly(Probe probe)
{
    auto result = std::async(std::launch::async, probe);
    EXPECT_EQ(result.wait_for(waitLimit), std::future_status::ready) << "the probe blocked";
    return result.get();
}

const std::string tcc = "Library/Application Support/com.apple.TCC/TCC.db";

} // namespace

TEST(PermissionManager, LocationsTable)
{
    const auto rows = PermissionManager::locations("/Users/ann");
    ASSERT_GT(rows.size(), 13u) << "the desktop's places follow the 13 of macOS";
    EXPECT_EQ(rows[1].path, "/Users/ann/Documents");
    EXPECT_EQ(rows[1].requirement, ProtectedLocation::Requirement::filesAndFolders);
    EXPECT_EQ(rows[10].name, "iOS Backups");
    EXPECT_EQ(rows[10].path, "/Users/ann/Library/Application Support/MobileSync");
    EXPECT_EQ(rows[9].path, "/Users/ann/.Trash");
    const auto other = PermissionManager::locations("/home/bob");
    for (size_t i : {0u, 11u, 12u}) EXPECT_EQ(rows[i], other[i]) << "row " << i + 1 << " does not depend on home";
    EXPECT_EQ(PermissionManager::locations("/Users/ann/")[1].path, "/Users/ann//Documents");

    EXPECT_NE(std::hash<ProtectedLocation>{}(rows[1]), std::hash<ProtectedLocation>{}(rows[2]));
}

TEST_F(PermissionManagerTest, FullDiskAccessProbes)
{
    // Without the macOS probe paths the account's own home folder decides, outside a sandbox.
    const StorageSandbox none;
    const StorageSandbox flatpak{StorageSandbox::Kind::flatpak, "org.example.App", "flatpak override"};
    EXPECT_EQ(PermissionManager::hasFullDiskAccess(home(), none), true);
    EXPECT_EQ(PermissionManager::hasFullDiskAccess(home(), flatpak), false);
    EXPECT_EQ(PermissionManager::hasFullDiskAccess(dir.file("missing"), none), std::nullopt);

    dir.makeFolder("Library/Safari");
    EXPECT_EQ(PermissionManager::hasFullDiskAccess(home()), true) << "the Safari folder decides";

    link(dir.file("nowhere"), "Library/Safari/Bookmarks.plist");
    EXPECT_EQ(PermissionManager::hasFullDiskAccess(home()), false) << "present but unreadable bookmarks";

    dir.write(tcc, "sqlite");
    EXPECT_EQ(PermissionManager::hasFullDiskAccess(home()), true) << "a readable database decides alone";
}

TEST_F(PermissionManagerTest, AStatusFailureOtherThanMissingDenies)
{
    // The TCC folder is a file: its status fails with "not a directory", not "missing".
    dir.write("Library/Application Support/com.apple.TCC", "");
    dir.makeFolder("Library/Safari");
    EXPECT_EQ(PermissionManager::hasFullDiskAccess(home()), false);
    EXPECT_EQ(PermissionManager::accessStatus(dir.file(tcc)), AccessStatus::denied);
}

// A FIFO or a device is never opened: that could block the probe or act on the device.
TEST_F(PermissionManagerTest, AFIFOOrADeviceAnswersWithoutBeingOpened)
{
    dir.makeFolder("Library/Application Support/com.apple.TCC");
    // The null device under a name of its own, never the system's.
    for (const mode_t kind : {S_IFIFO, S_IFCHR}) {
        ::unlink(dir.file(tcc).c_str());
        if (::mknod(dir.file(tcc).c_str(), kind | 0600, kind == S_IFCHR ? makedev(1, 3) : 0) != 0) {
            EXPECT_EQ(errno, EPERM);   // no device nodes for this account
            continue;
        }
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(watch, dir.file(tcc).c_str(), IN_OPEN), 0);
        EXPECT_EQ(promptly([&] { return PermissionManager::hasFullDiskAccess(home()); }), true);
        EXPECT_EQ(promptly([&] { return PermissionManager::accessStatus(dir.file(tcc)); }), AccessStatus::granted);
        inotify_event event {};
        EXPECT_LT(::read(watch, &event, sizeof event), 0) << "opened, of kind " << kind;
        ::close(watch);
    }
}

TEST_F(PermissionManagerTest, StatusOfOnePlace)
{
    dir.makeFolder("Documents");
    dir.write("Pictures", "a file where a folder was expected");
    link(dir.file("Documents"), "Desktop");
    link(dir.file("missing"), "Downloads");
    link("Loop", "Loop");

    struct Case { std::string path; AccessStatus status; };
    const Case cases[] = {
        {dir.file("Documents"), AccessStatus::granted},
        {dir.file("Pictures"), AccessStatus::granted},
        {dir.file("Desktop"), AccessStatus::granted},      // a link to a folder is opened as a file, following it
        {dir.file("Downloads"), AccessStatus::denied},     // the link exists, its target does not
        {dir.file("Loop"), AccessStatus::denied},
        {dir.file("Library/Mail"), AccessStatus::notFound},
        {dir.file("Pictures/inside"), AccessStatus::denied},
    };
    for (const auto& c : cases) EXPECT_EQ(PermissionManager::accessStatus(c.path), c.status) << c.path;
}

TEST_F(PermissionManagerTest, AFolderThatCannotBeListedIsDenied)
{
    if (runAgainUnprivileged()) return;
    dir.makeFolder("Library/Messages");
    ::chmod(dir.file("Library/Messages").c_str(), 0);
    EXPECT_EQ(PermissionManager::accessStatus(dir.file("Library/Messages")), AccessStatus::denied);
}

TEST(PermissionManager, SettingsLinks)
{
    std::vector<QUrl> opened;
    auto open = [&](const QUrl& url) { opened.push_back(url); };
    PermissionManager::openSettingsURL("", open);
    PermissionManager::openSettingsURL("no scheme at all", open);
    EXPECT_TRUE(opened.empty());
    // The System Settings panes do not exist here: the link is said to lead nowhere and opens nothing.
    for (const char* link : {PermissionManager::fullDiskAccessSettingsURL, PermissionManager::filesAndFoldersSettingsURL}) {
        EXPECT_FALSE(PermissionManager::canOpenSettingsURL(link));
        PermissionManager::openSettingsURL(link, open);
    }
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(PermissionManager::canOpenSettingsURL("file:///home"));
    PermissionManager::openSettingsURL("file:///home", open);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString().toStdString(), "file:///home");
}

TEST_F(PermissionManagerTest, PlacesOfTheDesktop)
{
    dir.write(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_DESKTOP_DIR=\"$HOME\"\n"
                                        "XDG_MUSIC_DIR=\"$HOME/Musik\"\n");
    ScopedEnvironment config("XDG_CONFIG_HOME", dir.file(".config"));
    ScopedEnvironment data("XDG_DATA_HOME", dir.file("data"));
    const auto rows = PermissionManager::desktopLocations(home(), "ann");
    std::vector<std::pair<std::string, std::string>> places;
    for (const auto& row : rows) places.emplace_back(row.name, row.path);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Home", home()},
        {"Dokumente", home() + "/Dokumente"}, // named as the desktop names it; the Desktop folder is home itself
        {"Downloads", home() + "/Downloads"},
        {"Musik", home() + "/Musik"},
        {"Pictures", home() + "/Pictures"},
        {"Videos", home() + "/Videos"},
        {"Trash", dir.file("data/Trash")},
        {"Home Folders", "/home"},
        {"Administrator", "/root"},
        {"System and Package Data", "/var/lib"},
        {"System Logs", "/var/log"},
        {"Removable Media", "/media/ann"},
        {"Removable Media", "/run/media/ann"},
    };
    EXPECT_EQ(places, expected);
    for (const auto& row : rows) EXPECT_EQ(row.requirement, ProtectedLocation::Requirement::filePermissions);

    // Places already in the macOS table are listed once.
    const auto all = PermissionManager::locations(home());
    std::set<std::string> paths;
    for (const auto& row : all) EXPECT_TRUE(paths.insert(row.path).second) << row.path;
    EXPECT_TRUE(paths.count(home() + "/Dokumente"));
    // A macOS place that is also one of this desktop's says what holds for it here.
    for (const auto& row : all)
        if (row.path == home() + "/Downloads" || row.path == home() + "/Pictures") {
            EXPECT_EQ(row.requirement, ProtectedLocation::Requirement::filePermissions) << row.path;
            EXPECT_EQ(row.explanation, "One of your own folders. Readable by your account.") << row.path;
        }
}

