#include "ui/support/UiTestSupport.h"

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
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Data folders of their own: an icon only the locolor theme has, one in the shared
// pixmaps folder, and an image named by its full path.
class ApplicationIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        image("icons/locolor/32x32/apps/walk-tool.png");
        image("pixmaps/old-tool.png");
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

    TempDir data;
    std::string fullPath;
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
    EXPECT_TRUE(ApplicationIcon::lookup("walk-tool").isNull());
    lookUp({"walk-tool", "old-tool", "old-tool.png", fullPath, data.file("elsewhere/missing.png"), "no-such-icon-anywhere"});
    EXPECT_GE(found.count(), 1);
    EXPECT_FALSE(ApplicationIcon::lookup("walk-tool").isNull());
    EXPECT_FALSE(ApplicationIcon::lookup("old-tool").isNull());
    EXPECT_FALSE(ApplicationIcon::lookup("old-tool.png").isNull());    // named with its suffix
    EXPECT_FALSE(ApplicationIcon::lookup(fullPath).isNull());
    EXPECT_TRUE(ApplicationIcon::lookup(data.file("elsewhere/missing.png")).isNull());
    EXPECT_TRUE(ApplicationIcon::lookup("no-such-icon-anywhere").isNull());
    EXPECT_TRUE(ApplicationIcon::lookup("").isNull());

    ApplicationInfo app;
    app.iconName = "no-such-icon-anywhere";
    EXPECT_FALSE(ApplicationIcon::of(app).isNull());    // the generic symbol stands in
}

TEST_F(ApplicationIconTest, AFifoNamedLikeAnIconIsNeverOpened)
{
    std::vector<std::string> fifos;
    for (const char* relative : {"icons/hicolor/48x48/apps/pipe-tool.png", "pixmaps/pipe-pixmap.svg"}) {
        fifos.push_back(data.file(relative));
        std::filesystem::create_directories(std::filesystem::path(fifos.back()).parent_path());
        ASSERT_EQ(::mkfifo(fifos.back().c_str(), 0600), 0);
    }
    // Should the main thread block opening one, a writer lets it go, so that the test fails
    // instead of hanging.
    std::atomic<bool> answered = false;
    std::atomic<bool> released = false;
    std::jthread watchdog([&] {
        for (int tick = 0; !answered; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (tick < 50 || answered) continue;
            released = true;
            for (const std::string& fifo : fifos) ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        }
    });
    lookUp({"pipe-tool", "pipe-pixmap"});
    EXPECT_TRUE(ApplicationIcon::lookup("pipe-tool").isNull());
    EXPECT_TRUE(ApplicationIcon::lookup("pipe-pixmap").isNull());
    answered = true;
    EXPECT_FALSE(released) << "the main thread blocked opening a FIFO";
}

TEST_F(ApplicationIconTest, AProcessShowsItsApplicationsIconAndOtherwiseTheTerminal)
{
    ApplicationInfo editor;
    editor.name = "Walk Tool";
    editor.path = "/usr/share/applications/walk-tool.desktop";
    editor.desktopEntryPath = editor.path;
    editor.executablePath = "/usr/bin/walk-tool";
    editor.iconName = "walk-tool";
    const std::vector<ApplicationInfo> apps{editor};

    lookUp({"walk-tool"});
    ProcessSnapshot process;
    process.pid = 4242;
    process.name = "walk-tool";
    process.executablePath = "/usr/bin/walk-tool";
    EXPECT_EQ(ProcessIcon::of(process, apps).cacheKey(), ApplicationIcon::lookup("walk-tool").cacheKey());

    process.executablePath = "/usr/bin/other";
    const QIcon terminal = ProcessIcon::of(process, apps);
    EXPECT_FALSE(terminal.isNull());
    EXPECT_NE(terminal.cacheKey(), ApplicationIcon::lookup("walk-tool").cacheKey());
}

} // namespace
