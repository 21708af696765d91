#include "platform/qt/DBusDesktopServices.h"
#include "platform/qt/QtFileTrasher.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string contents(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isLink(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// A home folder and data folder of its own, so the real Trash is never touched.
class TrashHome : public ::testing::Test {
protected:
    void SetUp() override { dir.makeFolder("home"); }

    std::string trash(const std::string& relative) const { return dir.file("home/.local/share/Trash/" + relative); }

    TempDir dir;
    ScopedEnvironment homeVariable{"HOME", dir.file("home")};
    ScopedEnvironment dataVariable{"XDG_DATA_HOME", dir.file("home/.local/share")};
    QtFileTrasher trasher;
};

} // namespace

TEST_F(TrashHome, MovesFilesFoldersAndLinksWithRestoreInformation)
{
    const std::string file = dir.write("work/report 1%.txt", "hello");
    dir.write("work/folder/inner/deep.bin", 100);
    const std::string folder = dir.file("work/folder");
    const std::string target = dir.write("work/target.txt", "kept");
    const std::string link = dir.file("work/link");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    const std::string dangling = dir.file("work/dangling");
    ASSERT_EQ(::symlink("/nonexistent/target", dangling.c_str()), 0);

    // The data folder does not exist yet: it must be made, never replaced by the working directory.
    ASSERT_FALSE(fs::exists(dir.file("home/.local/share")));
    for (const std::string& path : {file, folder, link, dangling})
        EXPECT_EQ(trasher.moveToTrash(path), std::nullopt) << path;

    for (const std::string& path : {file, folder, link, dangling})
        EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << path;
    EXPECT_EQ(contents(trash("files/report 1%.txt")), "hello");
    EXPECT_TRUE(fs::exists(trash("files/folder/inner/deep.bin")));
    // The link went, not what it points at.
    EXPECT_TRUE(isLink(trash("files/link")));
    EXPECT_EQ(contents(target), "kept");
    EXPECT_TRUE(isLink(trash("files/dangling")));
    EXPECT_EQ(fs::read_symlink(trash("files/dangling")), "/nonexistent/target");

    const std::string info = contents(trash("info/report 1%.txt.trashinfo"));
    EXPECT_NE(info.find("[Trash Info]"), std::string::npos);
    // Percent-encoded as a URL path.
    EXPECT_NE(info.find("Path=" + dir.file("work/report%201%25.txt")), std::string::npos) << info;
    EXPECT_NE(info.find("DeletionDate="), std::string::npos);
    EXPECT_NE(contents(trash("info/dangling.trashinfo")).find("Path=" + dangling), std::string::npos);
    EXPECT_TRUE(fs::exists(trash("info/folder.trashinfo")));
    EXPECT_TRUE(fs::exists(trash("info/link.trashinfo")));
    // Nothing landed in the working directory.
    EXPECT_FALSE(fs::exists("files/report 1%.txt"));
}

TEST_F(TrashHome, SameNamesGetTheirOwnPlaces)
{
    const std::string first = dir.write("a/notes.txt", "first");
    const std::string second = dir.write("b/notes.txt", "second");
    const std::string third = dir.file("c/notes.txt");
    dir.makeFolder("c");
    ASSERT_EQ(::symlink("/nowhere", third.c_str()), 0);
    for (const std::string& path : {first, second, third})
        ASSERT_EQ(trasher.moveToTrash(path), std::nullopt) << path;

    int files = 0, infos = 0;
    for (const auto& entry : fs::directory_iterator(trash("files")))
        files += entry.path().filename().string().find("notes") == 0;
    for (const auto& entry : fs::directory_iterator(trash("info")))
        infos += entry.path().extension() == ".trashinfo";
    EXPECT_EQ(files, 3);
    EXPECT_EQ(infos, 3);
    EXPECT_EQ(contents(trash("files/notes.txt")), "first");
}

TEST_F(TrashHome, FailuresComeWithAReadableReason)
{
    EXPECT_EQ(trasher.moveToTrash(dir.file("missing.txt")), "The item no longer exists.");
    EXPECT_EQ(trasher.trashFolder(), dir.file("home/.local/share/Trash"));

    // A data location that cannot be a folder: refused, and the file stays where it was.
    const std::string file = dir.write("work/keep.txt", "x");
    dir.write("blocker", "not a folder");
    ScopedEnvironment blocked("XDG_DATA_HOME", dir.file("blocker"));
    const auto reason = trasher.moveToTrash(file);
    ASSERT_TRUE(reason);
    EXPECT_FALSE(reason->empty());
    EXPECT_TRUE(fs::exists(file));
}

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

TEST_F(TrashHome, ItemsOnAnotherVolumeGoToThatVolumesTrash)
{
    // /dev/shm is a memory file system of its own on most systems.
    struct stat home{}, shm{};
    if (::stat(dir.path().c_str(), &home) != 0 || ::stat("/dev/shm", &shm) != 0 || home.st_dev == shm.st_dev ||
        ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second writable volume";
    const std::string volumeTrash = "/dev/shm/.Trash-" + std::to_string(::getuid());
    const bool trashExisted = fs::exists(volumeTrash);
    std::string folder = "/dev/shm/kestrel-trash-XXXXXX";
    ASSERT_TRUE(::mkdtemp(folder.data()));
    const std::string file = folder + "/on-other-volume.txt";
    std::ofstream(file) << "elsewhere";

    const auto reason = trasher.moveToTrash(file);
    const std::string placed = volumeTrash + "/files/on-other-volume.txt";
    const bool inVolumeTrash = fs::exists(placed);
    const bool inHomeTrash = fs::exists(trash("files/on-other-volume.txt"));

    std::error_code ignored;
    fs::remove(placed, ignored);
    fs::remove(volumeTrash + "/info/on-other-volume.txt.trashinfo", ignored);
    fs::remove_all(folder, ignored);
    if (!trashExisted)
        fs::remove_all(volumeTrash, ignored);

    if (reason) {
        // Refused is acceptable; copying across volumes is not.
        EXPECT_FALSE(inHomeTrash);
        return;
    }
    EXPECT_TRUE(inVolumeTrash);
    EXPECT_FALSE(inHomeTrash);
}
