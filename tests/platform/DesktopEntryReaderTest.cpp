#include "platform/gio/DesktopEntryReader.h"
#include "platform/Paths.h"

#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The desktop's reader keeps the XDG folders and the current desktop it first saw
// for the life of the process, so the fixture entries are written and read once
// before any test runs, with the environment pointing at them.
class DesktopFixture : public ::testing::Environment {
public:
    void SetUp() override
    {
        dir = std::make_unique<TempDir>();
        const std::string tool = dir->write("bin/fixture-tool", "#!/bin/sh\n");
        ::chmod(tool.c_str(), 0755);
        const auto entry = [&](const std::string& relative, const std::string& body) {
            dir->write(relative, "[Desktop Entry]\nType=Application\n" + body);
        };
        entry("system/applications/shown.desktop", "Name=Shown Tool\nExec=" + tool + " --open %U\nIcon=shown\n");
        entry("system/applications/nodisplay.desktop", "Name=No Display\nExec=" + tool + "\nNoDisplay=true\n");
        entry("system/applications/hidden.desktop", "Name=Hidden\nExec=" + tool + "\nHidden=true\n");
        entry("system/applications/kde-only.desktop", "Name=KDE Only\nExec=" + tool + "\nOnlyShowIn=KDE;\n");
        entry("system/applications/gnome-only.desktop", "Name=GNOME Only\nExec=" + tool + "\nOnlyShowIn=GNOME;\n");
        entry("system/applications/not-gnome.desktop", "Name=Not GNOME\nExec=" + tool + "\nNotShowIn=GNOME;\n");
        entry("system/applications/missing-tryexec.desktop",
              "Name=Missing\nExec=" + tool + "\nTryExec=" + dir->file("bin/not-there") + "\n");
        entry("system/applications/vendor/nested.desktop", "Name=Nested\nExec=" + tool + "\n");
        entry("system/applications/org.example.Flat.desktop",
              "Name=Flat\nExec=" + tool + " run --command=flat org.example.Flat\nX-Flatpak=org.example.Flat\n");
        entry("system/applications/snapped_snapped.desktop",
              "Name=Snapped\nExec=" + tool + "\nX-SnapInstanceName=snapped\n");
        entry("system/applications/overridden.desktop", "Name=System Copy\nExec=" + tool + "\n");
        entry("user/applications/overridden.desktop", "Name=User Copy\nExec=" + tool + "\n");
        entry("system/applications/no-exec-on-path.desktop", "Name=Unresolved\nExec=kestrel-no-such-program\n");

        ScopedEnvironment data("XDG_DATA_DIRS", dir->file("system"));
        ScopedEnvironment home("XDG_DATA_HOME", dir->file("user"));
        ScopedEnvironment desktop("XDG_CURRENT_DESKTOP", "GNOME");
        entries = DesktopEntryReader::shownEntries();
    }

    void TearDown() override { dir.reset(); }

    static inline std::unique_ptr<TempDir> dir;
    static inline std::vector<DesktopEntry> entries;
};

const auto* const fixture = ::testing::AddGlobalTestEnvironment(new DesktopFixture);

const DesktopEntry* find(const std::string& id)
{
    const auto& entries = DesktopFixture::entries;
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.id == id; });
    return it == entries.end() ? nullptr : &*it;
}

} // namespace

TEST(DesktopEntryReader, ListsWhatTheLauncherShows)
{
    const struct {
        const char* id;
        bool shown;
    } cases[] = {
        {"shown.desktop", true},
        {"nodisplay.desktop", false},
        {"hidden.desktop", false},
        {"kde-only.desktop", false},
        {"gnome-only.desktop", true},
        {"not-gnome.desktop", false},
        {"missing-tryexec.desktop", false},
        {"vendor-nested.desktop", true}, // a subfolder becomes a prefix of the id
        {"org.example.Flat.desktop", true},
        {"overridden.desktop", true},
        {"no-exec-on-path.desktop", false}, // its command is not installed
    };
    for (const auto& c : cases)
        EXPECT_EQ(find(c.id) != nullptr, c.shown) << c.id;
}

TEST(DesktopEntryReader, DescribesEachEntry)
{
    const auto* shown = find("shown.desktop");
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->name, "Shown Tool");
    EXPECT_EQ(shown->filename, DesktopFixture::dir->file("system/applications/shown.desktop"));
    EXPECT_EQ(shown->executable, DesktopFixture::dir->file("bin/fixture-tool"));
    EXPECT_EQ(shown->icon, "shown");
    EXPECT_FALSE(shown->flatpakID);

    // The entry of the user's own data folder hides the system's copy.
    const auto* overridden = find("overridden.desktop");
    ASSERT_NE(overridden, nullptr);
    EXPECT_EQ(overridden->name, "User Copy");
    EXPECT_EQ(overridden->filename, DesktopFixture::dir->file("user/applications/overridden.desktop"));

    const auto* flat = find("org.example.Flat.desktop");
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->flatpakID, "org.example.Flat");
    const auto* snapped = find("snapped_snapped.desktop");
    ASSERT_NE(snapped, nullptr);
    EXPECT_EQ(snapped->snapName, "snapped");
}

TEST(DesktopEntryReader, ReadsKeyFiles)
{
    TempDir dir;
    const auto path = dir.write("metadata", "[Application]\nname=org.example.Flat\ncommand=flat\n");
    EXPECT_EQ(DesktopEntryReader::keyFileValue(path, "Application", "command"), "flat");
    EXPECT_FALSE(DesktopEntryReader::keyFileValue(path, "Application", "runtime"));
    EXPECT_FALSE(DesktopEntryReader::keyFileValue(dir.file("missing"), "Application", "command"));
}

namespace {

// Applications folders of their own, for the walk that reads the environment at each call.
struct WalkedFolders {
    TempDir dir;
    ScopedEnvironment data{"XDG_DATA_DIRS", dir.file("system")};
    ScopedEnvironment home{"XDG_DATA_HOME", dir.file("user")};

    std::vector<std::string> ids() const
    {
        std::vector<std::string> result;
        for (const auto& file : DesktopEntryReader::entryFiles()) result.push_back(file.id);
        std::sort(result.begin(), result.end());
        return result;
    }
};

} // namespace

TEST(DesktopEntryReader, ReadsEachEntryFileOnceWhateverLinksLeadToIt)
{
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;   // link -> target, below system/applications
        std::vector<std::string> ids;
    } cases[] = {
        {"no links", {}, {"a.desktop", "vendor-b.desktop"}},
        {"a link back to its own folder", {{"loop", "."}}, {"a.desktop", "vendor-b.desktop"}},
        {"a link from a subfolder to the top", {{"vendor/up", ".."}}, {"a.desktop", "vendor-b.desktop"}},
        {"a second name for an entry", {{"alias.desktop", "a.desktop"}}, {"a.desktop", "vendor-b.desktop"}},
        {"a link to an entry elsewhere", {{"c.desktop", "../../elsewhere/c.desktop"}},
         {"a.desktop", "c.desktop", "vendor-b.desktop"}},
    };
    for (const auto& c : cases) {
        WalkedFolders folders;
        folders.dir.write("system/applications/a.desktop", "[Desktop Entry]\n");
        folders.dir.write("system/applications/vendor/b.desktop", "[Desktop Entry]\n");
        folders.dir.write("elsewhere/c.desktop", "[Desktop Entry]\n");
        for (const auto& [link, target] : c.links)
            ASSERT_EQ(::symlink(target.c_str(), folders.dir.file("system/applications/" + link).c_str()), 0);
        EXPECT_EQ(folders.ids(), c.ids) << c.name;
    }
}

TEST(DesktopEntryReader, NeverOpensWhatIsNoRegularFile)
{
    WalkedFolders folders;
    const std::string tool = folders.dir.write("bin/tool", "#!/bin/sh\n");
    ::chmod(tool.c_str(), 0755);
    folders.dir.write("user/applications/real.desktop", "[Desktop Entry]\nType=Application\nName=Real\nExec=" + tool + "\n");
    const std::string fifo = folders.dir.file("user/applications/x.desktop");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", folders.dir.file("user/applications/zero.desktop").c_str()), 0);
    folders.dir.makeFolder("system/applications");
    ASSERT_EQ(::symlink(fifo.c_str(), folders.dir.file("system/metadata").c_str()), 0);

    auto reading = std::async(std::launch::async, [&] {
        return std::pair(DesktopEntryReader::shownEntries(),
                         DesktopEntryReader::keyFileValue(folders.dir.file("system/metadata"), "Application", "name"));
    });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Let the blocked reader go, so that the failure is reported instead of hanging.
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        ADD_FAILURE() << "reading the entries blocked on a FIFO";
    }
    const auto [entries, value] = reading.get();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries.front().id, "real.desktop");
    EXPECT_FALSE(value);
}

TEST(DesktopEntryReaderDeathTest, LaunchingOpensNoListOfTheDesktopsFolders)
{
    // Run again in a process of its own, since the desktop keeps the folders it first saw.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TempDir dir;
            dir.write("data/applications/tool.desktop", "[Desktop Entry]\nType=Application\nName=Tool\nExec=true\n");
            for (const char* list : {"config/mimeapps.list", "data/applications/mimeapps.list"}) {
                dir.makeFolder(Paths::deletingLastComponent(list));
                ::mkfifo(dir.file(list).c_str(), 0600);
            }
            ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
            ::setenv("XDG_DATA_DIRS", dir.file("none").c_str(), 1);
            // A launch that blocks on a FIFO ends by the alarm instead.
            ::alarm(10);
            const bool launched = !DesktopEntryReader::launch("tool.desktop");
            std::filesystem::remove_all(dir.path());
            std::_Exit(launched ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
