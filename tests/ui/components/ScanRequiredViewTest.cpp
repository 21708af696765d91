#include "ui/components/ScanRequiredView.h"

#include "ui/support/UiTestSupport.h"

#include "app/support/RecordingModel.h"

#include "app/AppModel.h"
#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using Kind = ScanPhase::Kind;

const QString title = QStringLiteral("No scan data yet");
const QString message =
    QStringLiteral("Scan your computer to see what's using space. Scanning is read-only and runs on this computer only.");

class ScanRequiredViewTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override
    {
        for (int file = 0; file < 20; ++file)
            tree.write("disk/folder/file" + std::to_string(file) + ".bin", 2048);
        // Scans in these tests read only the small tree, never the real disk.
        model->scan().setRootsProvider([this] { return std::vector<std::string>{tree.file("disk")}; });
    }

    static QPushButton* button(ScanRequiredView& view) { return view.findChild<QPushButton*>("scanButton"); }

    TempDir tree;
};

TEST_F(ScanRequiredViewTest, ShowsTheScreensTextsAndOffersScanningOnlyWhenNoScanIsUnderWay)
{
    ScanRequiredView view(*model, title, message);
    EXPECT_EQ(view.title(), title);
    EXPECT_EQ(view.description(), message);
    ASSERT_NE(button(view), nullptr);
    EXPECT_EQ(button(view)->text(), "Scan Computer");
    EXPECT_TRUE(button(view)->isEnabled());

    struct Step {
        ScanPhase phase;
        bool enabled;
    };
    // In the order a scan goes through them: the button follows each change by itself.
    const Step steps[] = {
        {Kind::preparing, false}, {Kind::scanning, false}, {Kind::paused, false},    {Kind::cancelled, true},
        {Kind::scanning, false},  {Kind::finalizing, false}, {Kind::completed, true}, {Kind::paused, false},
        {ScanPhase::failed("The scan failed: disk I/O error"), true}, {Kind::idle, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(static_cast<int>(step.phase.kind()));
        ScanCoordinatorTestAccess::setPhase(model->scan(), step.phase);
        EXPECT_EQ(button(view)->isEnabled(), step.enabled);
    }
}

TEST_F(ScanRequiredViewTest, PressingScanStartsAFreshScanEvenWhenOneCouldBeResumed)
{
    ScanRequiredView view(*model, title, message);
    ScanCoordinatorTestAccess::setResumableScanID(model->scan(), 7);

    button(view)->click();
    EXPECT_EQ(model->scan().progress().phase.kind(), Kind::preparing);
    EXPECT_FALSE(model->scan().progress().isResumed);
    EXPECT_NE(model->scan().task(), nullptr);
    EXPECT_FALSE(button(view)->isEnabled());
    // A second press while the scan runs changes nothing.
    button(view)->click();

    ASSERT_TRUE(waitUntil([&] { return model->scan().task() == nullptr && model->scan().dataVersion() > 0; }));
    EXPECT_EQ(model->scan().progress().phase.kind(), Kind::completed);
    EXPECT_TRUE(button(view)->isEnabled());
    EXPECT_EQ(database->totals().fileCount, 20);
}

TEST_F(ScanRequiredViewTest, WithoutAScanCacheTheButtonStaysOff)
{
    // The cache's folder is a plain file, so no cache can be opened.
    home.write(".local/share/Kestrelmoor", "not a folder");
    AppModel uncached(nullptr, emptyApplicationsStore(settings.path()));
    ASSERT_EQ(uncached.database(), nullptr);
    ScanRequiredView view(uncached, title, message);
    for (Kind kind : {Kind::idle, Kind::scanning, Kind::paused, Kind::cancelled, Kind::completed}) {
        ScanCoordinatorTestAccess::setPhase(uncached.scan(), kind);
        EXPECT_FALSE(button(view)->isEnabled()) << static_cast<int>(kind);
    }
    button(view)->click();
    EXPECT_EQ(uncached.scan().task(), nullptr);
}

TEST_F(ScanRequiredViewTest, Screenshots)
{
    ScanRequiredView view(*model, title, message);
    view.resize(640, 420);
    view.show();
    QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("scan-required"));

    ScanCoordinatorTestAccess::setPhase(model->scan(), Kind::paused);
    ScanRequiredView empty(*model, QStringLiteral("No duplicates found"), QString());
    empty.resize(640, 420);
    empty.show();
    QCoreApplication::processEvents();
    saveScreenshot(empty, QStringLiteral("scan-required-while-scanning"));
}

} // namespace
