#include "platform/FreedesktopTrasher.h"
#include "support/PrivateMount.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string contents(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The path a restore record names, its percent-escapes decoded.
std::string restoredPath(const std::string& record)
{
    const std::size_t start = record.find("\nPath=");
    if (start == std::string::npos)
        return {};
    const std::size_t end = record.find('\n', start + 1);
    const std::string encoded = record.substr(start + 6, end - start - 6);
    std::string path;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size()) {
            path += static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += encoded[i];
        }
    }
    return path;
}

bool isLink(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// A home folder and data folder of its own, so the real Trash is never touched.
class FreedesktopTrasherTest : public ::testing::Test {
protected:
    void SetUp() override { dir.makeFolder("home"); }

    std::string trash(const std::string& relative) const { return dir.file("home/.local/share/Trash/" + relative); }

    TempDir dir;
    ScopedEnvironment homeVariable{"HOME", dir.file("home")};
    ScopedEnvironment dataVariable{"XDG_DATA_HOME", dir.file("home/.local/share")};
    FreedesktopTrasher trasher;
};

} // namespace

TEST_F(FreedesktopTrasherTest, MovesFilesFoldersAndLinksWithRestoreInformation)
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

TEST_F(FreedesktopTrasherTest, SameNamesGetTheirOwnPlaces)
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

TEST_F(FreedesktopTrasherTest, FailuresComeWithAReadableReason)
{
    EXPECT_EQ(trasher.moveToTrash(dir.file("missing.txt")), "The item no longer exists.");
    EXPECT_EQ(trasher.trashFolder(), dir.file("home/.local/share/Trash"));

    // A data location that cannot be a folder (XDG_DATA_HOME naming a file counts as unset, and
    // the home's own data folder is a file too): refused, and the file stays where it was.
    const std::string file = dir.write("work/keep.txt", "x");
    dir.write("home/.local/share", "not a folder");
    const auto reason = trasher.moveToTrash(file);
    ASSERT_TRUE(reason);
    EXPECT_FALSE(reason->empty());
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(FreedesktopTrasherTest, ItemsOnAnotherVolumeGoToThatVolumesTrash)
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

TEST_F(FreedesktopTrasherTest, RestoreRecordsNameTheExactPathOnOneLine)
{
    const std::vector<std::string> names{"two\nlines", "50% off [final].txt", "tab\there", "caf\xC3\xA9", "raw\xFF",
                                         "Path=fake"};
    for (const std::string& name : names) {
        const std::string path = dir.write("work/" + name, "x");
        ASSERT_EQ(trasher.moveToTrash(path), std::nullopt) << name;
        const std::string record = contents(trash("info/" + name + ".trashinfo"));
        EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 3) << record;
        EXPECT_EQ(record.rfind("[Trash Info]\nPath=/", 0), 0u) << record;
        EXPECT_NE(record.find("\nDeletionDate="), std::string::npos) << record;
        EXPECT_EQ(restoredPath(record), path) << record;
        EXPECT_EQ(contents(trash("files/" + name)), "x") << name;
    }
    EXPECT_EQ(FreedesktopTrasher::encodedRestorePath("/a b/c\nd%e/f~g-h_i.j"), "/a%20b/c%0Ad%25e/f~g-h_i.j");
}

TEST_F(FreedesktopTrasherTest, AFolderSwappedForALinkAfterThePickIsNotFollowed)
{
    const std::string picked = dir.write("work/sub/file.txt", "picked");
    const std::string outside = dir.write("outside/sub/file.txt", "elsewhere");
    ASSERT_EQ(::rename(dir.file("work/sub").c_str(), dir.file("work/sub.old").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("outside/sub").c_str(), dir.file("work/sub").c_str()), 0);

    EXPECT_EQ(trasher.moveToTrash(picked), std::string(FileTrasher::locationChangedReason));
    EXPECT_EQ(contents(outside), "elsewhere");

    // A file in the folder's place is no folder to move from either.
    ASSERT_EQ(::unlink(dir.file("work/sub").c_str()), 0);
    dir.write("work/sub", "now a file");
    EXPECT_EQ(trasher.moveToTrash(picked), std::string(FileTrasher::locationChangedReason));
    EXPECT_EQ(contents(dir.file("work/sub.old/file.txt")), "picked");
    EXPECT_FALSE(fs::exists(trash("files/file.txt")));
    EXPECT_FALSE(fs::exists(trash("info/file.txt.trashinfo")));
}

TEST_F(FreedesktopTrasherTest, AFullDiskLeavesTheItemInPlaceAndAnotherVolumeUsesItsOwnTrash)
{
    const std::string disk = dir.makeFolder("disk");
    const std::string stick = dir.makeFolder("stick");
    const PrivateMount::Result result = PrivateMount::run({{disk, 64 * 1024}, {stick, 256 * 1024}}, [&] {
        ::setenv("XDG_DATA_HOME", (disk + "/share").c_str(), 1);
        const std::string item = dir.write("disk/work/report.txt", "keep me");
        fs::create_directories(disk + "/share/Trash/files");
        fs::create_directories(disk + "/share/Trash/info");
        {
            std::ofstream filler(disk + "/filler", std::ios::binary);
            const std::string block(4096, 'f');
            for (int i = 0; i < 64 && filler; ++i)
                filler.write(block.data(), block.size());
        }
        const auto reason = trasher.moveToTrash(item);
        if (!reason)
            return std::string("a full disk still moved the item");
        if (reason->find("restore information could not be written") == std::string::npos)
            return "unexpected reason: " + *reason;
        if (contents(item) != "keep me")
            return std::string("the item left its place");
        if (!fs::is_empty(disk + "/share/Trash/info") || !fs::is_empty(disk + "/share/Trash/files"))
            return std::string("the Trash holds a partial record or the item");

        // On a volume other than the home Trash's, the volume's own Trash takes it.
        const std::string photo = dir.write("stick/photos/a b.jpg", "jpeg");
        if (const auto refused = trasher.moveToTrash(photo))
            return "the stick's item was refused: " + *refused;
        const std::string own = stick + "/.Trash-" + std::to_string(::getuid());
        if (contents(own + "/files/a b.jpg") != "jpeg")
            return std::string("the item is not in the stick's Trash");
        const std::string record = contents(own + "/info/a b.jpg.trashinfo");
        if (restoredPath(record) != "photos/a b.jpg")
            return "the record does not name the place on the stick: " + record;
        // The volume's top itself is no item of the volume to move.
        if (!trasher.moveToTrash(stick) || !fs::is_directory(stick + "/photos"))
            return std::string("the mount point was moved");
        return std::string();
    });
    if (!result.ran)
        GTEST_SKIP() << "cannot make small volumes here (" << result.skipReason << ")";
    EXPECT_EQ(result.failure, "");
}

TEST_F(FreedesktopTrasherTest, EachVolumeUsesItsOwnTrashAndARefusalSaysWhatIsTheCase)
{
    const std::string stick = dir.makeFolder("stick");
    const PrivateMount::Result result = PrivateMount::run({{stick, 256 * 1024}}, [&] {
        // The home Trash cannot be made: something else stands where it belongs.
        dir.write("home/.local/share/Trash", "not a folder");
        const std::string photo = dir.write("stick/photos/a.jpg", "jpeg");
        if (const auto refused = trasher.moveToTrash(photo))
            return "an item on another volume was refused for the home Trash's state: " + *refused;
        if (contents(stick + "/.Trash-" + std::to_string(::getuid()) + "/files/a.jpg") != "jpeg")
            return std::string("the item is not in the stick's Trash");
        fs::remove(dir.file("home/.local/share/Trash"));

        // The stick's Trash is there, yet cannot take records: the refusal says so.
        const std::string stickInfo = stick + "/.Trash-" + std::to_string(::getuid()) + "/info";
        fs::remove_all(stickInfo);
        dir.write("stick/.Trash-" + std::to_string(::getuid()) + "/info", "not a folder");
        const std::string song = dir.write("stick/song.ogg", "ogg");
        const auto unusable = trasher.moveToTrash(song);
        if (!unusable || unusable->find("without a Trash") != std::string::npos)
            return "an unusable Trash was told as none: " + unusable.value_or("moved");
        if (contents(song) != "ogg")
            return std::string("the item left its place");
        fs::remove(stickInfo);

        // The item's folder was replaced by a bind mount of a folder on the same volume.
        const std::string elsewhere = dir.makeFolder("elsewhere");
        const std::string item = dir.write("elsewhere/report.txt", "keep me");
        const std::string mounted = dir.makeFolder("work/mounted");
        if (::mount(elsewhere.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return std::string();   // no bind mounts here: nothing more to check
        const PrivateMount::Unmounted unmount{mounted};
        const auto reason = trasher.moveToTrash(mounted + "/report.txt");
        if (!reason || reason->find("bind mount") == std::string::npos)
            return "the bind mount was not named: " + reason.value_or("moved");
        if (contents(item) != "keep me")
            return std::string("the item left its place");

        // A home Trash that cannot be written is not a full disk.
        const std::string homeTrash = dir.makeFolder("home/.local/share/Trash");
        dir.makeFolder("home/.local/share/Trash/info");
        dir.makeFolder("home/.local/share/Trash/files");
        if (!PrivateMount::bindReadOnly(homeTrash))
            return std::string();
        const PrivateMount::Unmounted unmountTrash{homeTrash};
        const std::string draft = dir.write("work/draft.txt", "draft");
        const auto readOnly = trasher.moveToTrash(draft);
        if (!readOnly || readOnly->find("read-only") == std::string::npos)
            return "a read-only Trash was not named: " + readOnly.value_or("moved");
        if (contents(draft) != "draft")
            return std::string("the item left its place");
        return std::string();
    });
    if (!result.ran)
        GTEST_SKIP() << "cannot make small volumes here (" << result.skipReason << ")";
    EXPECT_EQ(result.failure, "");
}

TEST_F(FreedesktopTrasherTest, TheItemFoundMustBeTheItemExpected)
{
    using Kind = FileTrasher::Expected::Kind;
    const std::string file = dir.write("work/file.txt", "f");
    const std::string folder = dir.makeFolder("work/folder");
    const std::string link = dir.file("work/link");
    ASSERT_EQ(::symlink("file.txt", link.c_str()), 0);
    struct stat status {};
    ASSERT_EQ(::lstat(file.c_str(), &status), 0);
    const auto inode = static_cast<std::uint64_t>(status.st_ino);
    const struct {
        std::string path;
        FileTrasher::Expected expected;
        bool moves;
    } cases[] = {
        {file, {.kind = Kind::folder}, false},
        {file, {.kind = Kind::file, .inode = inode + 1}, false},
        {folder, {.kind = Kind::file}, false},
        {link, {.kind = Kind::file}, false},
        {link, {.kind = Kind::symbolicLink}, true},
        {folder, {.kind = Kind::folder}, true},
        {file, {.kind = Kind::file, .inode = inode}, true},
    };
    for (const auto& c : cases) {
        const auto reason = trasher.moveToTrash(c.path, c.expected);
        EXPECT_EQ(!reason, c.moves) << c.path << ": " << reason.value_or("moved");
        if (!c.moves) {
            EXPECT_EQ(reason, std::string(FileTrasher::replacedReason)) << c.path;
        }
        EXPECT_EQ(fs::exists(fs::symlink_status(c.path)), !c.moves) << c.path;
    }
}
