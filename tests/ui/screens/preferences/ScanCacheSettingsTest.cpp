#include "ui/screens/preferences/ScanCacheSettings.h"

#include "analysis/ByteFormatter.h"
#include "ui/screens/preferences/ScanErrorListModel.h"

#include "ui/screens/preferences/PreferencesTestSupport.h"

#include "app/QtText.h"
#include "index/SQLiteConnection.h"

#include "ui/components/ElidedLabel.h"

#include <QLabel>
#include <QAbstractItemModelTester>
#include <QListView>
#include <QPersistentModelIndex>
#include <QMessageBox>
#include <QPushButton>

namespace {

using Kind = ScanPhase::Kind;

class ScanCacheSettingsTest : public PreferencesTest {
protected:
    void logErrors(int count)
    {
        for (int i = 0; i < count; ++i)
            database->logError(tree.file("disk/Projects/item" + std::to_string(i)), "Permission denied");
    }
    // A shown section with its first load in place.
    std::unique_ptr<ScanCacheSettings> shown()
    {
        auto view = std::make_unique<ScanCacheSettings>(*model);
        view->resize(560, 600);
        view->show();
        EXPECT_TRUE(waitUntil([&] { return view->databaseSize() > 0; }));
        return view;
    }
    static QPushButton* button(QWidget& view, const char* name)
    {
        return view.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static void confirm(ScanCacheSettings& view)
    {
        button(view, "clearCache")->click();
        ASSERT_NE(view.clearConfirmation(), nullptr);
        view.clearConfirmation()->findChild<QPushButton*>(QStringLiteral("confirmClear"))->click();
    }
};

TEST_F(ScanCacheSettingsTest, TheCopiedLogKeepsOneEntryALineWhateverThePathsHold)
{
    struct Case {
        ScanErrorEntry entry;
        QString line;
    };
    const Case cases[] = {
        {{1, 1741064767, "/srv/plain", "Permission denied"}, "2025-03-04T05:06:07Z\t/srv/plain\tPermission denied"},
        {{2, 0, "/srv/a\tb", "m"}, "1970-01-01T00:00:00Z\t/srv/a\\tb\tm"},
        {{3, 0, "/srv/two\nlines", "bad\r\nthing"}, "1970-01-01T00:00:00Z\t/srv/two\\nlines\tbad\\r\\nthing"},
        {{4, 0, "/srv/back\\slash\\t", "m"}, "1970-01-01T00:00:00Z\t/srv/back\\\\slash\\\\t\tm"},
        {{5, 1741064767.9, "/srv/ünïcode", "x"}, "2025-03-04T05:06:07Z\t/srv/ünïcode\tx"},
    };
    std::vector<ScanErrorEntry> all;
    QStringList lines;
    for (const Case& c : cases) {
        EXPECT_EQ(ScanCacheSettings::logText({c.entry}), c.line);
        all.push_back(c.entry);
        lines.append(c.line);
    }
    const QString text = ScanCacheSettings::logText(all);
    EXPECT_EQ(text, lines.join('\n'));
    EXPECT_EQ(text.count('\n'), 4);
    EXPECT_EQ(ScanCacheSettings::logText({}), "");
}

TEST_F(ScanCacheSettingsTest, ListsTwoHundredButCopiesEveryLoadedEntry)
{
    logErrors(350);
    auto view = shown();
    ASSERT_TRUE(waitUntil([&] { return view->errors().size() == 350; }));
    ScanErrorListModel& listed = *view->listedErrorsModel();
    QAbstractItemModelTester tester(&listed, QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(view->findChild<QListView*>(QStringLiteral("errorList"))->model()->rowCount(), 200);
    EXPECT_EQ(listed.index(0, 0).data(Qt::ToolTipRole).toString(),
              QString::fromStdString(view->errors().front().path));
    EXPECT_FALSE(view->findChild<QLabel*>(QStringLiteral("noErrors"))->isVisible());
    saveScreenshot(*view, QStringLiteral("scan-cache-settings"));
    button(*view, "copyLog")->click();
    ASSERT_EQ(desktop->copied.size(), 1u);
    const std::string& copied = desktop->copied.front();
    EXPECT_EQ(std::count(copied.begin(), copied.end(), '\n'), 349);
    // Newest first, with the full path.
    EXPECT_NE(copied.find(tree.file("disk/Projects/item349")), std::string::npos);
    EXPECT_LT(copied.find("item349"), copied.find("item0\t"));

    // A reload keeps the entries still listed as the same rows, and moves them down.
    const QPersistentModelIndex newest = listed.index(0, 0);
    const std::int64_t newestID = listed.rowAt(0).id;
    logErrors(50);
    view->reload();
    ASSERT_TRUE(waitUntil([&] { return view->errors().size() == 400; }));
    EXPECT_EQ(listed.rowCount(), 200);
    EXPECT_EQ(listed.rowOfKey(newestID), 50);
    EXPECT_TRUE(newest.isValid());
    EXPECT_EQ(newest.row(), 50);

    logErrors(500);
    view->reload();
    ASSERT_TRUE(waitUntil([&] { return view->errors().size() == 500; }));

    button(*view, "clearLog")->click();
    ASSERT_TRUE(waitUntil([&] { return view->errors().empty(); }));
    EXPECT_TRUE(view->findChild<QLabel*>(QStringLiteral("noErrors"))->isVisible());
    EXPECT_FALSE(button(*view, "copyLog")->isVisible());
}

TEST_F(ScanCacheSettingsTest, ClearingIsOfferedOnlyWhileNoScanRuns)
{
    auto view = shown();
    const std::pair<ScanPhase, bool> steps[] = {
        {Kind::preparing, false}, {Kind::scanning, false}, {Kind::paused, false},   {Kind::finalizing, false},
        {Kind::completed, true},  {Kind::cancelled, true}, {ScanPhase::failed("x"), true}, {Kind::idle, true},
    };
    for (const auto& [phase, enabled] : steps) {
        ScanCoordinatorTestAccess::setPhase(model->scan(), phase);
        EXPECT_EQ(button(*view, "clearCache")->isEnabled(), enabled) << static_cast<int>(phase.kind());
    }
}

TEST_F(ScanCacheSettingsTest, ConfirmingEmptiesTheCacheAndEveryScreenReloads)
{
    logErrors(3);
    ScanCoordinatorTestAccess::setResumableScanID(model->scan(), 9);
    auto view = shown();
    ASSERT_TRUE(waitUntil([&] { return view->errors().size() == 3; }));
    const std::int64_t before = view->databaseSize();
    const int version = model->scan().dataVersion();

    // Cancelling changes nothing.
    button(*view, "clearCache")->click();
    view->clearConfirmation()->button(QMessageBox::Cancel)->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(view->clearConfirmation(), nullptr);
    EXPECT_EQ(model->scan().dataVersion(), version);
    EXPECT_GT(database->totals().fileCount, 0);

    confirm(*view);
    EXPECT_FALSE(button(*view, "clearCache")->isEnabled());
    // The old size is not shown as if nothing were happening.
    auto* size = view->findChild<QLabel*>(QStringLiteral("cacheSize"));
    EXPECT_EQ(size->text(), ScanCacheSettings::clearingText());
    ASSERT_TRUE(waitUntil([&] { return model->scan().dataVersion() > version && view->errors().empty(); }));
    ASSERT_TRUE(waitUntil([&] { return view->databaseSize() < before; }));
    EXPECT_EQ(size->text(), QString::fromStdString(ByteFormatter::string(view->databaseSize())));
    EXPECT_EQ(database->totals().fileCount, 0);
    EXPECT_EQ(model->scan().resumableScanID(), std::nullopt);
    EXPECT_TRUE(button(*view, "clearCache")->isEnabled());
    EXPECT_FALSE(model->alert().has_value());
}

TEST_F(ScanCacheSettingsTest, AFailedClearSaysWhyAndKeepsTheCache)
{
    SQLiteConnection(cache.file("ScanCache.sqlite"))
        .execute("CREATE TRIGGER refuse BEFORE DELETE ON scans "
                 "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END;");
    ScanCoordinatorTestAccess::setResumableScanID(model->scan(), 9);
    auto view = shown();
    const std::int64_t files = database->totals().fileCount;
    const int version = model->scan().dataVersion();
    confirm(*view);
    ASSERT_TRUE(waitUntil([&] { return model->alert().has_value(); }));
    EXPECT_EQ(model->alert()->title, "The scan cache could not be cleared");
    EXPECT_NE(model->alert()->message.find("database or disk is full"), std::string::npos);
    EXPECT_EQ(database->totals().fileCount, files);
    EXPECT_EQ(model->scan().resumableScanID(), 9);
    EXPECT_EQ(model->scan().dataVersion(), version);
}

TEST_F(ScanCacheSettingsTest, AScanStartedWhileTheQuestionWaitsRefusesTheClear)
{
    auto view = shown();
    button(*view, "clearCache")->click();
    model->scan().startScan(false);
    ASSERT_TRUE(model->scan().isScanActive());
    view->clearConfirmation()->findChild<QPushButton*>(QStringLiteral("confirmClear"))->click();
    ASSERT_TRUE(model->alert().has_value());
    EXPECT_EQ(model->alert()->title, "The scan cache could not be cleared");
    ASSERT_TRUE(waitUntil([&] { return !model->scan().isScanActive(); }));
    EXPECT_GT(database->totals().fileCount, 0);
}

TEST_F(ScanCacheSettingsTest, WithoutADatabaseTheSectionsSayWhatIsMissing)
{
    auto bare = modelWithoutDatabase();
    ASSERT_EQ(bare->database(), nullptr);
    ScanCacheSettings view(*bare);
    view.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(view.findChild<ElidedLabel*>(QStringLiteral("cacheLocation"))->text(), "Unavailable");
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("cacheSize"))->text(), "0 bytes");
    EXPECT_EQ(view.findChild<QPushButton*>(QStringLiteral("revealCache")), nullptr);
    EXPECT_TRUE(view.findChild<QLabel*>(QStringLiteral("noErrors"))->isVisible());

    // Clearing says that there was nothing it could clear.
    confirm(view);
    ASSERT_TRUE(waitUntil([&] { return bare->alert().has_value(); }));
    EXPECT_EQ(bare->alert()->title, "The scan cache could not be cleared");
}

TEST_F(ScanCacheSettingsTest, RevealShowsTheCacheFile)
{
    auto view = shown();
    EXPECT_EQ(view->findChild<ElidedLabel*>(QStringLiteral("cacheLocation"))->text(), qstr(cache.file("ScanCache.sqlite")));
    button(*view, "revealCache")->click();
    ASSERT_EQ(desktop->revealed.size(), 1u);
    EXPECT_EQ(desktop->revealed.front(), std::vector<std::string>{cache.file("ScanCache.sqlite")});
}

} // namespace
