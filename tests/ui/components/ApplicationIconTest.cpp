#include "ui/support/UiTestSupport.h"

#include "support/FifoWatchdog.h"
#include "support/TempDir.h"
#include "ui/components/ApplicationIcon.h"
#include "ui/screens/system/ProcessIcon.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Data folders of their own: an icon only the locolor theme has, one in the shared
// pixmaps folder, and an image named by its full path. A name is looked for once in a
// run, so each case's names are its own.
class ApplicationIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        image("icons/locolor/32x32/apps/" + walkTool + ".png");
        image("pixmaps/" + oldTool + ".png");
        fullPath = image("elsewhere/own-icon.png");
        ::setenv("XDG_DATA_DIRS", data.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", data.file("nothing-here").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_DATA_DIRS");
        ::unsetenv("XDG_DATA_HOME");
    }
    std::string image(const std::string& relative) const
    {
        const std::string file = data.file(relative);
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        QImage picture(32, 32, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        picture.save(QString::fromStdString(file));
        return file;
    }

    static std::string ownName(const std::string& stem)
    {
        static int made = 0;
        return stem + "-" + std::to_string(++made);
    }

    TempDir data;
    std::string fullPath;
    const std::string walkTool = ownName("walk-tool");
    const std::string oldTool = ownName("old-tool");
};

// Looks the names up and waits until each has its answer.
void lookUp(std::initializer_list<std::string> names)
{
    for (const auto& name : names)
        ApplicationIcon::lookup(name);
    EXPECT_TRUE(waitUntil([&] {
        return std::all_of(names.begin(), names.end(), [](const std::string& name) { return ApplicationIcon::isKnown(name); });
    }));
}

TEST_F(ApplicationIconTest, NamesAreFoundInAnyThemeThePixmapsFolderOrAsPaths)
{
    // Off the main thread: the first answer is the stand-in, the icon comes with found().
    QSignalSpy found(&ApplicationIcon::announcer(), &ApplicationIcon::found);
    EXPECT_TRUE(ApplicationIcon::lookup(walkTool).isNull());
    lookUp({walkTool, oldTool, oldTool + ".png", fullPath, data.file("elsewhere/missing.png"), "no-such-icon-anywhere"});
    EXPECT_GE(found.count(), 1);
    EXPECT_FALSE(ApplicationIcon::lookup(walkTool).isNull());
    EXPECT_FALSE(ApplicationIcon::lookup(oldTool).isNull());
    EXPECT_FALSE(ApplicationIcon::lookup(oldTool + ".png").isNull());    // named with its suffix
    EXPECT_FALSE(ApplicationIcon::lookup(fullPath).isNull());
    EXPECT_TRUE(ApplicationIcon::lookup(data.file("elsewhere/missing.png")).isNull());
    EXPECT_TRUE(ApplicationIcon::lookup("no-such-icon-anywhere").isNull());
    EXPECT_TRUE(ApplicationIcon::lookup("").isNull());

    ApplicationInfo app;
    app.iconName = "no-such-icon-anywhere";
    EXPECT_FALSE(ApplicationIcon::of(app).isNull());    // the generic symbol stands in
}

// Neither a FIFO nor a file far larger than any icon is opened or read on the main thread.
TEST_F(ApplicationIconTest, AFifoOrAHugeFileNamedLikeAnIconIsNeverOpened)
{
    ASSERT_EQ(::truncate(data.write("icons/hicolor/48x48/apps/huge-tool.png", "").c_str(), 1LL << 32), 0);
    std::vector<std::string> fifos;
    for (const char* relative : {"icons/hicolor/48x48/apps/pipe-tool.png", "pixmaps/pipe-pixmap.svg"}) {
        fifos.push_back(data.file(relative));
        std::filesystem::create_directories(std::filesystem::path(fifos.back()).parent_path());
        ASSERT_EQ(::mkfifo(fifos.back().c_str(), 0600), 0);
    }
    EXPECT_FALSE(blocksOnFifos(fifos, [] {
        lookUp({"pipe-tool", "pipe-pixmap", "huge-tool"});
        EXPECT_TRUE(ApplicationIcon::lookup("pipe-tool").isNull());
        EXPECT_TRUE(ApplicationIcon::lookup("pipe-pixmap").isNull());
        EXPECT_TRUE(ApplicationIcon::lookup("huge-tool").isNull());
    })) << "the main thread blocked opening a FIFO";
}

// The toolkit reads a theme's index and cache on the main thread when an icon is first asked
// of the theme: a folder where either is a FIFO is left out, and the lookup answers.
TEST_F(ApplicationIconTest, ThemeFoldersWhoseIndexOrCacheIsAFifoAreLeftOut)
{
    const QStringList savedFolders = QIcon::themeSearchPaths();
    const QString savedTheme = QIcon::themeName();
    const std::string good = data.file("good-icons"), piped = data.file("piped-icons"), cached = data.file("cached-icons");
    data.write("good-icons/pipe-theme/index.theme", "[Icon Theme]\nName=Pipe\nDirectories=48x48/apps\n");
    std::vector<std::string> fifos{piped + "/pipe-theme/index.theme", cached + "/pipe-theme/icon-theme.cache"};
    for (const std::string& fifo : fifos) {
        std::filesystem::create_directories(std::filesystem::path(fifo).parent_path());
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    }
    QIcon::setThemeSearchPaths({QString::fromStdString(piped), QString::fromStdString(good),
                                QString::fromStdString(cached), QStringLiteral(":/icons")});
    ApplicationIcon::keepThemeFoldersReadable();
    EXPECT_EQ(QIcon::themeSearchPaths(), (QStringList{QString::fromStdString(good), QStringLiteral(":/icons")}));

    QIcon::setThemeName(QStringLiteral("pipe-theme"));
    EXPECT_FALSE(blocksOnFifos(fifos, [] { EXPECT_TRUE(QIcon::fromTheme(QStringLiteral("no-such-icon")).isNull()); }))
        << "the main thread blocked opening a FIFO";
    QIcon::setThemeName(savedTheme);
    QIcon::setThemeSearchPaths(savedFolders);
}

TEST_F(ApplicationIconTest, AProcessShowsItsApplicationsIconAndOtherwiseTheTerminal)
{
    ApplicationInfo editor;
    editor.name = "Walk Tool";
    editor.path = "/usr/share/applications/walk-tool.desktop";
    editor.desktopEntryPath = editor.path;
    editor.executablePath = "/usr/bin/walk-tool";
    editor.iconName = walkTool;
    const std::vector<ApplicationInfo> apps{editor};

    lookUp({walkTool});
    ProcessSnapshot process;
    process.pid = 4242;
    process.name = "walk-tool";
    process.executablePath = "/usr/bin/walk-tool";
    EXPECT_EQ(ProcessIcon::of(process, apps).cacheKey(), ApplicationIcon::lookup(walkTool).cacheKey());

    process.executablePath = "/usr/bin/other";
    const QIcon terminal = ProcessIcon::of(process, apps);
    EXPECT_FALSE(terminal.isNull());
    EXPECT_NE(terminal.cacheKey(), ApplicationIcon::lookup(walkTool).cacheKey());
}

} // namespace
