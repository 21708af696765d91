#include "ui/screens/system/ApplicationStorageView.h"

#include "AppFixtures.h"
#include "app/AppModel.h"
#include "app/support/RecordingModel.h"
#include "support/TestHome.h"
#include "index/StorageDatabase.h"
#include "ui/support/UiTestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QTimer>
#include <QLabel>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace {

using Kind = ApplicationStorageBreakdown::Entry::Kind;

ApplicationInfo appWithID(const std::string& id, const std::string& name)
{
    ApplicationInfo app;
    app.name = name;
    app.path = "/opt/" + name;
    app.bundleIdentifier = id;
    return app;
}


} // namespace

TEST(ApplicationStorageView, SortsLargestFirstKeepingListOrderOnTies)
{
    std::vector<ApplicationStorageBreakdown::Entry> entries{
        {Kind::data, "/a", 5, false}, {Kind::cache, "/b", 9, false}, {Kind::logs, "/c", 5, true}};
    ApplicationStorageView::sortEntries(entries);
    EXPECT_EQ(entries[0].path, "/b");
    EXPECT_EQ(entries[1].path, "/a");
    EXPECT_EQ(entries[2].path, "/c");
    EXPECT_EQ(ApplicationStorageView::sizeText(entries[2]), QStringLiteral("5 bytes+"));
    EXPECT_EQ(ApplicationStorageView::total(std::nullopt, {entries}), 19);
    FolderSizeResult bundle;
    bundle.allocatedSize = 100;
    EXPECT_EQ(ApplicationStorageView::total(bundle, {entries}), 119);
}

TEST(ApplicationStorageView, WalksTheLocationsTheScanCacheDoesNotHold)
{
    RecordingModel m;
    const TestHome& home = m.home;
    home.write(".config/org.example.App/settings.ini", std::string(5000, 'x'));
    home.write(".cache/org.example.App/blob", std::string(20000, 'x'));
    ApplicationStorageView view(*m.model, appWithID("org.example.App", "App"), nullptr, {}, home.path());
    ASSERT_TRUE(waitUntil([&] { return view.breakdown().has_value(); }));
    ASSERT_EQ(view.breakdown()->entries.size(), 2u);
    EXPECT_EQ(view.breakdown()->entries[0].path, home.path() + "/.cache/org.example.App");
    EXPECT_GE(view.breakdown()->entries[0].bytes, 20000);
    view.resize(320, 200);
    saveScreenshot(view, QStringLiteral("ApplicationStorageView"));
}

TEST(ApplicationStorageView, DropsARunOvertakenByAnotherApplication)
{
    RecordingModel m;
    const TestHome& home = m.home;
    home.write(".config/org.example.Old/a", "x");
    home.write(".config/org.example.New/b", "x");
    std::mutex gate;
    gate.lock();
    std::atomic<bool> oldStarted = false;
    auto sizer = [&](const std::string& path, StorageDatabase*, std::stop_token) {
        FolderSizeResult result;
        if (path.find("Old") != std::string::npos) {
            oldStarted = true;
            std::lock_guard hold(gate); // the old walk ends only after the new run
            result.allocatedSize = 999;
        } else {
            result.allocatedSize = 7;
        }
        return result;
    };
    ApplicationStorageView view(*m.model, appWithID("org.example.Old", "Old"), nullptr, sizer, home.path());
    ASSERT_TRUE(waitUntil([&] { return oldStarted.load(); }));
    view.setApplication(appWithID("org.example.New", "New"));
    EXPECT_FALSE(view.breakdown().has_value()); // back to the progress indicator at once
    ASSERT_TRUE(waitUntil([&] { return view.breakdown().has_value(); }));
    gate.unlock();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    ASSERT_EQ(view.breakdown()->entries.size(), 1u);
    EXPECT_EQ(view.breakdown()->entries[0].bytes, 7);
    EXPECT_NE(view.breakdown()->entries[0].path.find("New"), std::string::npos);
}

namespace {

std::vector<QWidget*> shownRows(const QWidget& view)
{
    std::vector<QWidget*> rows;
    for (QWidget* row : view.findChildren<QWidget*>(QStringLiteral("breakdownEntry")))
        if (row->isVisibleTo(&view))
            rows.push_back(row);
    return rows;
}

} // namespace

TEST(ApplicationStorageView, ARowsMenuStaysSafeWhileSizesArrive)
{
    RecordingModel m;
    const TestHome& home = m.home;
    home.write(".config/org.example.App/a", "x");
    home.write(".cache/org.example.App/b", std::string(9000, 'x'));
    ApplicationStorageView view(*m.model, appWithID("org.example.App", "App"), nullptr, {}, home.path());
    view.resize(320, 240);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.breakdown().has_value(); }));
    const auto rows = shownRows(view);
    ASSERT_EQ(rows.size(), 2u);

    // Bundle sizes keep arriving while the user holds the menu of a row open.
    bool closed = false;
    QTimer::singleShot(30, &view, [&] { emit m.model->apps().bundleSizesChanged(); });
    QTimer::singleShot(60, &view, [&] { emit m.model->apps().bundleSizesChanged(); });
    QTimer::singleShot(150, &view, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            EXPECT_EQ(qobject_cast<QMenu*>(popup)->actions().value(0)->text(), "Show in File Manager");
            popup->close();
            closed = true;
        }
    });
    emit rows[1]->customContextMenuRequested(QPoint(4, 4));
    waitUntil([&] { return closed; });
    EXPECT_TRUE(closed);
    QCoreApplication::processEvents();
    // The card kept its rows: a new bundle size changes the totals alone.
    EXPECT_EQ(shownRows(view), rows);
}

TEST(ApplicationStorageView, AnotherApplicationFillsTheRowsItHas)
{
    RecordingModel m;
    const TestHome& home = m.home;
    for (const char* id : {"org.example.One", "org.example.Two"}) {
        home.write(std::string(".config/") + id + "/a", "x");
        home.write(std::string(".cache/") + id + "/b", "xx");
    }
    ApplicationStorageView view(*m.model, appWithID("org.example.One", "One"), nullptr, {}, home.path());
    ASSERT_TRUE(waitUntil([&] { return view.breakdown().has_value(); }));
    const auto rows = shownRows(view);
    ASSERT_EQ(rows.size(), 2u);
    view.setApplication(appWithID("org.example.Two", "Two"));
    EXPECT_TRUE(shownRows(view).empty()); // the progress indicator alone
    ASSERT_TRUE(waitUntil([&] { return view.breakdown().has_value(); }));
    EXPECT_EQ(shownRows(view), rows);
    EXPECT_NE(view.breakdown()->entries[0].path.find("Two"), std::string::npos);
}
