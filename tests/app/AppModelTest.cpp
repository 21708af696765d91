#include "app/support/AppTestSupport.h"
#include "app/support/RecordingModel.h"
#include "support/RecordingTrasher.h"
#include "support/TestHome.h"

#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/SystemMonitorStore.h"
#include "app/UserDefaults.h"
#include "index/SQLiteFailure.h"
#include "index/StorageDatabase.h"
#include "app/support/SettingsFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

class AppModelTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override { model->setFileTrasher(trasher); }

    std::shared_ptr<RecordingTrasher> trasher = std::make_shared<RecordingTrasher>();
};

TrashCandidate candidate(const std::string& path, std::optional<std::int64_t> size = std::nullopt)
{
    return {path, std::filesystem::path(path).filename().string(), size, false, std::nullopt};
}

TEST_F(AppModelTest, AFreshModelShowsTheDashboardAndNotifiesOnlyOnChange)
{
    EXPECT_EQ(model->selection(), SidebarItem::dashboard);
    EXPECT_EQ(model->searchText(), "");
    EXPECT_FALSE(model->largestFilesCategory() || model->largestFoldersFocus() || model->trashRequest() ||
                 model->alert() || model->selectedApplicationPath());
    EXPECT_FALSE(model->databaseError().has_value());

    int selections = 0, searches = 0, alerts = 0;
    QObject::connect(model.get(), &AppModel::selectionChanged, [&] { ++selections; });
    QObject::connect(model.get(), &AppModel::searchTextChanged, [&] { ++searches; });
    QObject::connect(model.get(), &AppModel::alertChanged, [&] { ++alerts; });
    model->setSelection(SidebarItem::dashboard);
    model->setSelection(std::nullopt);
    model->setSelection(std::nullopt);
    model->setSearchText("");
    model->setSearchText("*.zip");
    model->setSearchText("*.zip");
    const AppAlert alert = AppAlert::make("T", "M");
    model->setAlert(alert);
    model->setAlert(alert);
    EXPECT_EQ(selections, 1);
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(alerts, 2);
    EXPECT_NE(AppAlert::make("T", "M").id, AppAlert::make("T", "M").id);
}

TEST_F(AppModelTest, ACacheThatCannotBeOpenedLeavesTheModelWithoutADatabase)
{
    // The cache's folder is a plain file, so the cache cannot be made inside it.
    home.write(".local/share/Kestrelmoor", "not a folder");
    AppModel broken(nullptr, emptyApplicationsStore(settings.path()));
    EXPECT_EQ(broken.database(), nullptr);
    ASSERT_TRUE(broken.databaseError().has_value());
    const std::string& error = *broken.databaseError();
    EXPECT_EQ(error.rfind("The scan cache could not be opened: ", 0), 0u) << error;
    EXPECT_TRUE(error.ends_with(". Scans will not be saved.")) << error;

    // Without a cache the disk's figures are still read, and Clear Cache says it cannot clear.
    bool loaded = false;
    broken.start([&] { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    EXPECT_TRUE(broken.scan().summary().volume.has_value());
    std::optional<std::string> clearFailure;
    bool cleared = false;
    broken.scan().clearCache([&](std::optional<std::string> failure) {
        clearFailure = std::move(failure);
        cleared = true;
    });
    ASSERT_TRUE(waitUntil([&] { return cleared; }));
    EXPECT_TRUE(clearFailure.has_value());
}

TEST_F(AppModelTest, AnUnreadableCacheIsSetAsideAndAFreshOneStartedWithOneNotice)
{
    const std::string text = "this is not a database, just text that is long enough";
    const std::string cache = home.write(".local/share/Kestrelmoor/ScanCache.sqlite", text);
    {
        AppModel garbage(nullptr, emptyApplicationsStore(settings.path()));
        ASSERT_NE(garbage.database(), nullptr);
        EXPECT_FALSE(garbage.databaseError().has_value());
        ASSERT_TRUE(garbage.databaseNotice().has_value());
        EXPECT_NE(garbage.databaseNotice()->find("set aside as ScanCache.sqlite.unreadable-"), std::string::npos)
            << *garbage.databaseNotice();
        EXPECT_NO_THROW(garbage.database()->beginScan({"/"}));
    }
    int aside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home.path() + "/.local/share/Kestrelmoor")) {
        if (entry.path().filename().string().rfind("ScanCache.sqlite.unreadable-", 0) != 0)
            continue;
        ++aside;
        std::ifstream in(entry.path());
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
    }
    EXPECT_EQ(aside, 1);
    // Said once: the next start opens the new cache quietly.
    AppModel again(nullptr, emptyApplicationsStore(settings.path()));
    EXPECT_FALSE(again.databaseNotice().has_value());
    EXPECT_EQ(again.database()->lastScan()->status, ScanRecord::Status::running);
}

TEST_F(AppModelTest, ACacheFoundDamagedLaterIsReplacedForEveryScreen)
{
    SQLiteFailure::noteDamage(database->path(), "SQLite error 11: database disk image is malformed");
    model->scan().startScan(false);
    ASSERT_TRUE(waitUntil([&] { return model->database() != database; }));
    ASSERT_NE(model->database(), nullptr);
    EXPECT_EQ(model->database(), model->scan().database());
    EXPECT_EQ(model->database()->path(), database->path());
    ASSERT_TRUE(model->databaseNotice().has_value());
    EXPECT_NE(model->databaseNotice()->find("(SQLite error 11: database disk image is malformed). It was set aside as"),
              std::string::npos)
        << *model->databaseNotice();
}

TEST_F(AppModelTest, StartLoadsOnceAndCountsTheApplications)
{
    EXPECT_EQ(model->monitor().parent(), model.get());
    EXPECT_EQ(model->apps().parent(), model.get());
    settings.write("One.app/Contents/MacOS/One", 10);

    bool done = false;
    model->start([&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_TRUE(model->scan().isLoaded());
    EXPECT_TRUE(model->apps().loaded());
    EXPECT_EQ(model->scan().summary().applicationCount, 1);

    // A later start lists nothing again: the bundle added since stays unseen.
    settings.write("Two.app/Contents/MacOS/Two", 10);
    done = false;
    model->start([&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(model->apps().apps().size(), 1u);
    EXPECT_EQ(model->scan().summary().applicationCount, 1);

    // Without a scan cache the applications are still listed and counted.
    home.write(".local/share/Kestrelmoor", "not a folder");
    AppModel uncached(nullptr, emptyApplicationsStore(settings.path()));
    ASSERT_EQ(uncached.database(), nullptr);
    done = false;
    uncached.start([&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_TRUE(uncached.scan().isLoaded());
    EXPECT_EQ(uncached.scan().summary().applicationCount, 2);
}

TEST_F(AppModelTest, RequestsKeepOnlyWhatMayBeRemovedOrExplainWhyNothingMay)
{
    const std::string allowed = home.write("Projects/old.zip");
    const std::string other = home.write("Projects/notes.txt");
    const std::string cautious = home.write("Library/Preferences/com.example.plist");
    const std::string cacheFolder = home.path() + "/.local/share/Kestrelmoor";
    std::filesystem::create_directories(cacheFolder);

    struct Case {
        const char* name;
        std::vector<std::string> paths;
        std::vector<std::string> requested;   // empty: an alert instead
        std::string alertMessage;
    };
    const Case cases[] = {
        {"nothing offered", {}, {}, "This item can't be moved to the Trash."},
        {"protected left out silently", {"/usr/bin/env", allowed, other}, {allowed, other}, ""},
        {"caution still allowed", {cautious}, {cautious}, ""},
        {"first reason shown", {"/etc/hosts", home.path()},
         {}, "Protected by the system: items in /etc are part of the operating system."},
        {"own cache refused", {cacheFolder}, {}, "Kestrelmoor does not modify its own application or database files."},
    };
    for (const Case& c : cases) {
        model->setTrashRequest(std::nullopt);
        model->setAlert(std::nullopt);
        std::vector<TrashCandidate> offered;
        for (const std::string& path : c.paths)
            offered.push_back(candidate(path));
        bool judged = false;
        model->requestTrash(offered, [&] { judged = true; });
        EXPECT_FALSE(model->trashRequest().has_value() || model->alert().has_value()) << "judged on the main thread";
        ASSERT_TRUE(waitUntil([&] { return judged; })) << c.name;
        if (c.requested.empty()) {
            EXPECT_FALSE(model->trashRequest().has_value()) << c.name;
            ASSERT_TRUE(model->alert().has_value()) << c.name;
            EXPECT_EQ(model->alert()->title, "Protected by the system") << c.name;
            EXPECT_EQ(model->alert()->message, c.alertMessage) << c.name;
        } else {
            EXPECT_FALSE(model->alert().has_value()) << c.name;
            ASSERT_TRUE(model->trashRequest().has_value()) << c.name;
            std::vector<std::string> got;
            for (const TrashCandidate& kept : model->trashRequest()->candidates)
                got.push_back(kept.path);
            EXPECT_EQ(got, c.requested) << c.name;
        }
    }
}

TEST_F(AppModelTest, ConfirmingClosesTheRequestFirstAndReportsFailuresInOneAlert)
{
    const std::string a = home.write("Downloads/a.dmg");
    const std::string b = home.write("Downloads/b.dmg");
    const std::string c = home.write("Documents/Old/c.txt");
    trasher->refused = {b};
    model->requestTrash({candidate(a, 10), candidate(b, 20), candidate(c)});
    ASSERT_TRUE(waitUntil([&] { return model->trashRequest().has_value(); }));
    const TrashRequest request = *model->trashRequest();

    bool done = false;
    model->confirmTrash(request, [&] { done = true; });
    EXPECT_FALSE(model->trashRequest().has_value());   // the sheet closes before anything moves
    ASSERT_TRUE(waitUntil([&] { return done; }));

    EXPECT_EQ(trasher->moved, (std::vector<std::string>{a, c}));
    ASSERT_TRUE(model->alert().has_value());
    EXPECT_EQ(model->alert()->title, "Some items weren't moved");
    EXPECT_EQ(model->alert()->message, "~/Downloads/b.dmg: You don't have permission to move this item.");
    EXPECT_EQ(model->scan().dataVersion(), 1);

    // Nothing moved: no data change is announced.
    model->setAlert(std::nullopt);
    trasher->refused = {b};
    done = false;
    model->confirmTrash(TrashRequest::make({candidate(b)}), [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_TRUE(model->alert().has_value());
    EXPECT_EQ(model->scan().dataVersion(), 1);

    // Gone from the disk since the pick: reported, and forgotten by the index, so screens reload.
    const std::string gone = home.write("Downloads/gone.dmg");
    std::filesystem::remove(gone);
    model->setAlert(std::nullopt);
    done = false;
    model->confirmTrash(TrashRequest::make({candidate(gone)}), [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_TRUE(model->alert().has_value());
    EXPECT_EQ(model->scan().dataVersion(), 2);
}

TEST(AppModelText, FailureLinesShortenTheHomeFolderAndALongListMovesToTheDetails)
{
    const std::vector<TrashOutcome::Failure> failures{
        {"/Users/a/Library/x", "busy"}, {"/Users/a", "home"}, {"/Users/ab/y", "other"}, {"/opt/z", "locked"}};
    const std::vector few(failures.begin(), failures.begin() + 3);
    EXPECT_EQ(AppModel::trashFailures(few, "/Users/a"),
              (FailureList{.message = "~/Library/x: busy\n~: home\n/Users/ab/y: other", .details = {}}));
    EXPECT_EQ(AppModel::trashFailures(failures, "/Users/a"),
              (FailureList{.message = "4 items weren't moved. The first ones:\n~/Library/x: busy\n~: home\n"
                                      "/Users/ab/y: other\n\nShow Details lists every one.",
                           .details = "~/Library/x: busy\n~: home\n/Users/ab/y: other\n/opt/z: locked"}));
    EXPECT_EQ(AppModel::trashFailures({}, "/Users/a"), FailureList{});
}

} // namespace
