#include "ui/screens/system/AppDetailView.h"

#include "AppFixtures.h"
#include "app/AppModel.h"
#include "app/support/RecordingModel.h"
#include "app/system/ProcessMonitor.h"
#include "app/SystemMonitorStore.h"
#include "support/TestHome.h"
#include "index/StorageDatabase.h"
#include "support/ChildProcess.h"
#include "ui/support/UiTestSupport.h"
#include "ui/screens/system/ApplicationStorageView.h"
#include "ui/screens/system/WrappingText.h"

#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// The model fixture over the made-up applications, each sized 52 MB.
struct Model : RecordingModel {
    explicit Model(const AppFixtures& fixtures)
        : RecordingModel([&](const std::string&) { return fixtures.store([](const std::string&) { return 52'000'000; }); })
    {
    }
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
    EXPECT_FALSE(view.findChild<QToolButton*>(QStringLiteral("trash"))->isVisibleTo(&view));
    EXPECT_EQ(shown(*view.widget(), QStringLiteral("removalCommand")), QString::fromStdString(*editor.removalCommand));
    view.widget()->findChild<QToolButton*>(QStringLiteral("copyRemoval"))->click();
    EXPECT_EQ(m.desktop->copied, std::vector<std::string>{*editor.removalCommand});
    // No minimum system version here, so no row claiming one; no record of last use.
    EXPECT_FALSE(view.widget()->findChild<WrappingText*>(QStringLiteral("detail:Minimum macOS"))->isVisibleTo(&view));
    EXPECT_EQ(view.widget()->findChild<WrappingText*>(QStringLiteral("detail:Last opened"))->text(),
              QStringLiteral("Not available"));

    // An application of the desktop is told in its own terms: an app ID, no developer team,
    // and no signature check that this system cannot make. A bundle keeps the bundle's.
    ApplicationInfo bundle = editor;
    bundle.desktopEntryID.reset();
    bundle.signature = CodeSignatureStatus::notChecked();
    const struct {
        const ApplicationInfo& app;
        const char* identifier;
        bool teamShown;
        bool checkOffered;
    } forms[] = {{editor, "App ID", false, false}, {bundle, "Bundle ID", true, true}};
    for (const auto& form : forms) {
        AppDetailView described(*m.model, form.app);
        QWidget& panel = *described.widget();
        EXPECT_EQ(panel.findChild<QLabel*>(QStringLiteral("title:Bundle ID"))->text(), form.identifier);
        EXPECT_EQ(panel.findChild<QLabel*>(QStringLiteral("title:Team ID"))->isVisibleTo(&panel), form.teamShown);
        EXPECT_EQ(panel.findChild<QWidget*>(QStringLiteral("verifySignature"))->isVisibleTo(&panel), form.checkOffered);
    }
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
        // Each miss brings the next pass forward, to a second after the last one: a pass on a
        // loaded machine may have begun before the child ran, or still list the one before it.
        ASSERT_TRUE(waitUntil([&] {
            const auto target = AppDetailView::quitTarget(demo, m.model->monitor().processes());
            if (target && target->pid == child.pid())
                return true;
            m.model->monitor().tick();
            return false;
        }));
        AppDetailView view(*m.model, demo);
        ASSERT_TRUE(view.widget()->findChild<QToolButton*>(QStringLiteral("quit"))->isVisibleTo(&view));
        EXPECT_FALSE(view.widget()->findChild<QToolButton*>(QStringLiteral("trash"))->isEnabled());
        view.requestQuit(false);
        ASSERT_TRUE(view.pendingQuit());
        // The question waits without a loop of its own and names the process by its PID.
        ASSERT_NE(view.quitDialog(), nullptr);
        EXPECT_TRUE(view.quitDialog()->informativeText().startsWith(QStringLiteral("“demo” (PID %1)").arg(child.pid())));
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

TEST(AppDetailView, BuiltOnceItWrapsLongTextsInsideItsWidth)
{
    AppFixtures fixtures;
    Model m(fixtures);
    ApplicationInfo app = fixtures.named("Demo");
    app.name = "ImageMagick (color depth=q16) with a name longer than any panel";
    app.bundleIdentifier = "org.imagemagick.ImageMagick.display-im6.q16.with.a.very.long.identifier";
    app.path = "/opt/imagemagick-7.1.1-15-q16-hdri-x86_64-linux-gnu/share/applications/display-im6.q16.desktop";
    AppDetailView view(*m.model, app);
    view.resize(320, 900);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.storage()->breakdown().has_value(); }));
    QCoreApplication::processEvents();
    QLabel* name = view.widget()->findChild<QLabel*>(QStringLiteral("appName"));
    auto* identifier = view.widget()->findChild<WrappingText*>(QStringLiteral("detail:Bundle ID"));
    ASSERT_NE(name, nullptr);
    ASSERT_NE(identifier, nullptr);
    EXPECT_LE(view.widget()->width(), view.viewport()->width());
    EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
    for (QWidget* part : view.widget()->findChildren<QWidget*>()) {
        if (!part->isVisible())
            continue;
        EXPECT_LE(part->mapTo(view.widget(), QPoint(part->width(), 0)).x(), view.viewport()->width())
            << part->objectName().toStdString();
    }
    // On more than one line each, the identifier broken inside its words.
    EXPECT_GT(name->height(), 2 * name->fontMetrics().height());
    EXPECT_GT(identifier->height(), 2 * identifier->fontMetrics().height());
    saveScreenshot(view, QStringLiteral("AppDetailView-long"));

    // Samples, sizes and a check update the same widgets.
    const QList<QLabel*> before = view.widget()->findChildren<QLabel*>();
    emit m.model->apps().bundleSizesChanged();
    emit m.model->apps().signatureChecksChanged();
    emit m.model->monitor().processesChanged();
    app.version = "7.1.1";
    view.setApplication(app);
    EXPECT_EQ(view.widget()->findChildren<QLabel*>(), before);
    EXPECT_EQ(view.widget()->findChild<QLabel*>(QStringLiteral("appVersion"))->text(), "7.1.1");
}

TEST(AppDetailView, TheTrashVerdictIsFoundOffTheMainThreadOncePerApplication)
{
    AppFixtures fixtures;
    Model m(fixtures);
    const TestHome& home = m.home;
    ApplicationInfo demo = fixtures.named("Demo");
    ASSERT_FALSE(demo.isPackageManaged());
    demo.path = home.path() + "/Apps/Demo";
    home.write("Apps/Demo/bin/demo");
    AppDetailView view(*m.model, demo);
    QToolButton* trash = view.widget()->findChild<QToolButton*>(QStringLiteral("trash"));
    EXPECT_FALSE(trash->isEnabled()); // until the verdict is in
    ASSERT_TRUE(waitUntil([&] { return !view.isJudgingTrash(); }));
    EXPECT_TRUE(trash->isEnabled());
    emit m.model->monitor().processesChanged();
    EXPECT_FALSE(view.isJudgingTrash());
    demo.version = "2";
    view.setApplication(demo); // the same application: no new verdict
    EXPECT_FALSE(view.isJudgingTrash());
    ApplicationInfo system = fixtures.named("Demo");
    system.path = "/usr/bin";
    system.desktopEntryID = "other.desktop";
    view.setApplication(system);
    EXPECT_TRUE(view.isJudgingTrash());
    EXPECT_FALSE(trash->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !view.isJudgingTrash(); }));
    EXPECT_FALSE(trash->isEnabled());
}
