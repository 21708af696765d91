#include "ui/screens/overview/ScanProgressView.h"

#include "ui/screens/overview/OverviewTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "app/ScanCoordinator.h"
#include "platform/SystemPaths.h"
#include "ui/components/ElidedLabel.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using Kind = ScanPhase::Kind;

ScanProgress progressIn(ScanPhase phase, bool resumed = false)
{
    ScanProgress progress;
    progress.phase = std::move(phase);
    progress.isResumed = resumed;
    return progress;
}

TEST(ScanProgressViewTest, TitleOfEachPhase)
{
    struct Row {
        ScanProgress progress;
        QString title;
    };
    const Row rows[] = {
        {progressIn(Kind::preparing), "Preparing scan…"},
        {progressIn(Kind::scanning), "Scanning…"},
        {progressIn(Kind::scanning, true), "Resuming scan…"},
        {progressIn(Kind::paused, true), "Scan paused"},
        {progressIn(Kind::finalizing), "Calculating folder totals…"},
        {progressIn(Kind::cancelled), "Scan stopped"},
        {progressIn(Kind::idle), "Scan"},
        {progressIn(Kind::completed), "Scan"},
        {progressIn(ScanPhase::failed("disk I/O error")), "Scan"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ScanProgressView::title(row.progress), row.title) << row.title.toStdString();
}

TEST(ScanProgressViewTest, ElapsedTimeIsTheScansRunningTime)
{
    struct Row {
        const char* name;
        Kind phase;
        double elapsed;   // as the scanner reports it
        QString text;
    };
    const Row rows[] = {
        {"just started", Kind::preparing, 0, "0:00"},
        {"under a minute, not rounded up", Kind::scanning, 59.6, "0:59"},
        // Paused time is not running time: it stands at what it was when paused, and
        // Continue goes on from there.
        {"paused", Kind::paused, 125, "2:05"},
        {"no hour field", Kind::finalizing, 75 * 60, "75:00"},
        {"stopped after 42 seconds", Kind::cancelled, 42.5, "0:42"},
        {"nonsense", Kind::scanning, -3, "0:00"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScanProgress progress = progressIn(row.phase);
        // The start long ago no longer matters: the time between counts only while running.
        progress.startedAt = 1'800'000'000 - 3 * 3600;
        progress.elapsedSeconds = row.elapsed;
        EXPECT_EQ(ScanProgressView::elapsedText(ScanProgressView::elapsedSeconds(progress)), row.text);
    }
}

class ScanProgressViewPanelTest : public OverviewModelTest {
protected:
    void SetUp() override
    {
        OverviewModelTest::SetUp();
        for (int file = 0; file < 30; ++file)
            tree.write("disk/folder" + std::to_string(file % 3) + "/file" + std::to_string(file) + ".bin", 4096);
    }

    template <class T>
    static T* child(QWidget& view, const char* name)
    {
        return view.findChild<T*>(QString::fromLatin1(name));
    }
};

TEST_F(ScanProgressViewPanelTest, ControlsAndBlocksFollowThePhase)
{
    ScanProgressView view(*model);
    view.resize(640, 300);
    view.show();
    struct Row {
        Kind phase;
        QString pauseText;   // empty when the pause and cancel buttons are hidden
        bool bar, location, note;
    };
    const Row rows[] = {
        {Kind::preparing, "Pause", true, true, false},  {Kind::scanning, "Pause", true, true, false},
        {Kind::paused, "Continue", true, true, false},  {Kind::finalizing, "Pause", true, true, false},
        {Kind::cancelled, "", false, false, true},
    };
    ScanProgress progress;
    progress.filesScanned = 1'234'567;
    progress.bytesAnalyzed = 5'000'000'000;
    progress.currentPath = SystemPaths::homeDirectory() + "/Projects/kestrel";
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.phase));
        progress.phase = row.phase;
        ScanCoordinatorTestAccess::setProgress(model->scan(), progress);
        QCoreApplication::processEvents();
        EXPECT_EQ(child<QPushButton>(view, "pauseButton")->isVisibleTo(&view), !row.pauseText.isEmpty());
        EXPECT_EQ(child<QPushButton>(view, "cancelButton")->isVisibleTo(&view), !row.pauseText.isEmpty());
        EXPECT_EQ(child<QPushButton>(view, "resumeButton")->isVisibleTo(&view), row.pauseText.isEmpty());
        if (!row.pauseText.isEmpty()) {
            EXPECT_EQ(child<QPushButton>(view, "pauseButton")->text(), row.pauseText);
        }
        EXPECT_EQ(view.findChild<QProgressBar*>()->isVisibleTo(&view), row.bar);
        EXPECT_EQ(child<QWidget>(view, "currentLocation")->isVisibleTo(&view), row.location);
        EXPECT_EQ(child<QLabel>(view, "stoppedNote")->isVisibleTo(&view), row.note);
        EXPECT_EQ(view.values()[0], "1,234,567");
        EXPECT_EQ(view.values()[2], QString::fromStdString(ByteFormatter::string(5'000'000'000)));
    }
    EXPECT_EQ(child<ElidedLabel>(view, "currentPath")->text(), "~/Projects/kestrel");
    // Nothing to resume: the button is off.
    EXPECT_FALSE(child<QPushButton>(view, "resumeButton")->isEnabled());
    ScanCoordinatorTestAccess::setResumableScanID(model->scan(), 3);
    EXPECT_TRUE(child<QPushButton>(view, "resumeButton")->isEnabled());

    progress.phase = Kind::scanning;
    progress.currentPath.clear();
    ScanCoordinatorTestAccess::setProgress(model->scan(), progress);
    EXPECT_FALSE(child<QWidget>(view, "currentLocation")->isVisibleTo(&view));

    // Pause does nothing while preparing or finalizing.
    for (Kind phase : {Kind::preparing, Kind::finalizing}) {
        ScanCoordinatorTestAccess::setPhase(model->scan(), phase);
        child<QPushButton>(view, "pauseButton")->click();
        EXPECT_EQ(model->scan().progress().phase.kind(), phase);
    }
}

TEST_F(ScanProgressViewPanelTest, ARealScanLeavesTheElapsedTimeStanding)
{
    ScanProgressView view(*model);
    view.resize(640, 300);
    view.show();
    model->scan().startScan(false);
    EXPECT_EQ(child<QPushButton>(view, "pauseButton")->text(), "Pause");
    ASSERT_TRUE(waitUntil([&] { return model->scan().task() == nullptr && model->scan().dataVersion() > 0; }));
    ASSERT_TRUE(model->scan().lastOutcome().has_value());
    EXPECT_EQ(view.values()[0], "30");
    EXPECT_EQ(view.values()[1], "4");

    // Shown as stopped long after its start: the time it ran, not the time since.
    ScanProgress stopped = model->scan().progress();
    EXPECT_GT(stopped.elapsedSeconds, 0);
    stopped.phase = Kind::cancelled;
    *stopped.startedAt -= 3 * 3600;
    stopped.elapsedSeconds = 83;
    ScanCoordinatorTestAccess::setProgress(model->scan(), stopped);
    EXPECT_EQ(view.values()[3], "1:23");
    EXPECT_EQ(view.values()[0], "30");
    QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("scan-progress-stopped"));
}

} // namespace
