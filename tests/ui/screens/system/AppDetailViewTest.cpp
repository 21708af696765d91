#include "ui/screens/system/AppDetailView.h"

#include "AppFixtures.h"
#include "app/AppModel.h"
#include "support/AppTestSupport.h"
#include "app/ProcessMonitor.h"
#include "app/SystemMonitorStore.h"
#include "support/TestHome.h"
#include "index/StorageDatabase.h"
#include "support/ChildProcess.h"
#include "support/RecordingDesktop.h"
#include "ui/UiTestSupport.h"
#include "ui/screens/system/ApplicationStorageView.h"

#include <QLabel>
#include <QToolButton>

#include <gtest/gtest.h>

#include <csignal>

namespace {

struct Model {
    explicit Model(const AppFixtures& fixtures)
    {
        ensureApplication();
        model = std::make_unique<AppModel>(std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite")),
                                           fixtures.store([](const std::string&) { return 52'000'000; }));
        model->setDesktopServices(desktop);
    }
    TempDir cache;
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    std::unique_ptr<AppModel> model;
};

QString shown(const QWidget& view, const QString& name)
{
    const auto* label = view.findChild<QLabel*>(name);
    return label ? label->text() : QString();
}

} // namespace

TEST(AppDetailView, MemoryNoteAndBundleSizeTexts)
{
    const struct {
        ApplicationUsage usage;
        const char* note;
    } notes[] = {
        {{1, 10, 0, 0, {1}}, "Physical memory footprint of 1 process."},
        {{3, 10, 0, 1, {1, 2, 3}}, "Physical memory footprint of 3 processes (1 not readable)."},
    };
    for (const auto& c : notes)
        EXPECT_EQ(AppDetailView::memoryNote(c.usage), QString::fromUtf8(c.note));
    FolderSizeResult cancelled;
    cancelled.allocatedSize = 2'000'000;
    cancelled.wasCancelled = true;
    EXPECT_EQ(AppDetailView::bundleSizeText(std::nullopt), QStringLiteral("Measuring\u2026"));
    EXPECT_EQ(AppDetailView::bundleSizeText(cancelled), QStringLiteral("2.00 MB (partial)"));
}

TEST(AppDetailView, PackagedApplicationOffersItsRemovalCommandNotTheTrash)
{
    AppFixtures fixtures;
    Model m(fixtures);
    const ApplicationInfo& editor = fixtures.named("Editor");
    ASSERT_TRUE(editor.isPackageManaged());
    ASSERT_TRUE(editor.removalCommand);
    AppDetailView view(*m.model, editor);
    EXPECT_EQ(view.findChild<QToolButton*>(QStringLiteral("trash")), nullptr);
    EXPECT_EQ(shown(*view.widget(), QStringLiteral("removalCommand")), QString::fromStdString(*editor.removalCommand));
    view.widget()->findChild<QToolButton*>(QStringLiteral("copyRemoval"))->click();
    EXPECT_EQ(m.desktop->copied, std::vector<std::string>{*editor.removalCommand});
    // No minimum system version here, so no row claiming one; no record of last use.
    EXPECT_EQ(view.widget()->findChild<QLabel*>(QStringLiteral("detail:Minimum macOS")), nullptr);
    EXPECT_EQ(shown(*view.widget(), QStringLiteral("detail:Last opened")), QStringLiteral("Not available"));
}

TEST(AppDetailView, OpenFailureIsReportedInTheAlert)
{
    AppFixtures fixtures;
    Model m(fixtures);
    m.desktop->opens = false;
    ApplicationInfo app = fixtures.named("Demo");
    app.desktopEntryID.reset();
    app.desktopEntryPath.reset();
    AppDetailView view(*m.model, app);
    view.open();
    ASSERT_TRUE(m.model->alert());
    EXPECT_EQ(m.model->alert()->title, "Couldn't open Demo");
}

TEST(AppDetailView, QuitsTheRunningProcessAndReportsOneThatIsGone)
{
    AppFixtures fixtures;
    Model m(fixtures);
    const ApplicationInfo& demo = fixtures.named("Demo");
    m.model->monitor().subscribe(true);
    for (const bool gone : {false, true}) {
        ChildProcess child(fixtures.demoProgram);
        ASSERT_TRUE(waitUntil([&] {
            const auto target = AppDetailView::quitTarget(demo, m.model->monitor().processes());
            return target && target->pid == child.pid();
        }));
        AppDetailView view(*m.model, demo);
        ASSERT_NE(view.widget()->findChild<QToolButton*>(QStringLiteral("quit")), nullptr);
        EXPECT_FALSE(view.widget()->findChild<QToolButton*>(QStringLiteral("trash"))->isEnabled());
        view.requestQuit(false);
        ASSERT_TRUE(view.pendingQuit());
        if (gone) {
            ::kill(child.pid(), SIGKILL);
            EXPECT_EQ(child.endingSignal(), SIGKILL);
        }
        m.model->setAlert(std::nullopt);
        view.confirmQuit();
        EXPECT_FALSE(view.pendingQuit());
        if (gone) {
            ASSERT_TRUE(m.model->alert());
            EXPECT_EQ(m.model->alert()->title, "Couldn't quit the process");
        } else {
            EXPECT_FALSE(m.model->alert().has_value());
            EXPECT_EQ(child.endingSignal(), SIGTERM);
        }
        if (!gone) {
            view.resize(340, 900);
            saveScreenshot(view, QStringLiteral("AppDetailView"));
        }
    }
    m.model->monitor().unsubscribe(true);
}
