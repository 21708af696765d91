#include "ui/screens/files/MeasuredHomeTestSupport.h"

#include "ui/components/FileTable.h"
#include "ui/screens/files/CleanupView.h"
#include "ui/screens/files/DeveloperStorageView.h"
#include "ui/screens/files/DuplicateView.h"
#include "ui/screens/files/LargestFilesView.h"
#include "ui/screens/files/LargestFoldersView.h"
#include "ui/support/LayoutCheck.h"
#include "ui/screens/files/SearchView.h"
#include "ui/components/FolderTreeModel.h"

#include <QScrollArea>
#include <QThreadPool>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// The detail area of windows of 720x480, 1000x660, 1440x900 and 1920x1080.
const struct {
    QSize size;
    const char* name;
} detailSizes[] = {{{520, 420}, "720x480"}, {{800, 600}, "1000x660"}, {{1240, 840}, "1440x900"},
                   {{1720, 1020}, "1920x1080"}};

class FileScreensLayoutTest : public MeasuredHomeTest {
protected:
    void SetUp() override
    {
        MeasuredHomeTest::SetUp();
        write("Downloads/ubuntu-24.04.1-desktop-amd64_installer_image.iso", 900'000);
        write("Documents/Thesis/final_draft_v12 (corrected).docx", 130'000);
        write("Documents/Thesis/final_draft_v12 (copy).docx", 130'000);
        write("Pictures/2024/IMG_0001.JPG", 310'000);
        write("Backups/IMG_0001.JPG", 310'000);
        write("Projects/site/node_modules/left-pad/index.js", 1'200'000);
        write("Projects/site/.git/objects/pack/pack-1.pack", 400'000);
        write(".cache/thumbnails/large/3f2a_b7.png", 40'000'000);
        write(".npm/_cacache/index-v5/aa/blob", 12'000'000);
        scanHome();
        bool changed = false;
        model->scan().dataChanged([&] { changed = true; });
        ASSERT_TRUE(waitUntil([&] { return changed; }));
    }
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }

    // In the window the screen gets the detail area's size, whatever it would like.
    void checkAtEverySize(QWidget& screen, const QString& name)
    {
        QWidget window;
        screen.setParent(&window);
        window.show();
        for (const auto& size : detailSizes) {
            window.resize(size.size);
            screen.setGeometry(0, 0, size.size.width(), size.size.height());
            for (int turn = 0; turn < 3; ++turn)
                QCoreApplication::processEvents();
            SCOPED_TRACE(size.name);
            EXPECT_EQ(cutWidgets(screen), "");
            saveScreenshot(screen, name + "-" + QString::fromLatin1(size.name));
        }
        screen.setParent(nullptr);
    }
};

TEST_F(FileScreensLayoutTest, LargestFilesWithChartAndDetails)
{
    LargestFilesView view(*model);
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading() && !view.files().empty(); }));
    view.setShowChart(true);
    view.setSelection({view.files().front().id});
    checkAtEverySize(view, "LargestFilesView");
}

TEST_F(FileScreensLayoutTest, LargestFoldersWithChartAndSelection)
{
    LargestFoldersView view(*model);
    ASSERT_TRUE(waitUntil([&] { return !view.tree()->isLoading() && view.tree()->rowCount() > 0; }));
    model->setLargestFoldersFocus(home.path() + "/Projects/site");
    ASSERT_TRUE(waitUntil([&] { return view.tree()->focusPath().has_value() && !view.tree()->isLoading(); }));
    view.chartToggle()->setChecked(true);
    view.setSelection(view.tree()->roots().front().id);
    checkAtEverySize(view, "LargestFoldersView");
}

TEST_F(FileScreensLayoutTest, SearchWithFoldersFilesAndDetails)
{
    SearchView view(*model);
    model->setSearchText("IMG");
    ASSERT_TRUE(waitUntil([&] { return !view.isSearching() && !view.results().files.empty(); }));
    view.table()->setSelection({view.results().files.front().id});
    checkAtEverySize(view, "SearchView");
}

TEST_F(FileScreensLayoutTest, DuplicatesCleanupAndDeveloperStorage)
{
    DuplicateView duplicates(*model);
    duplicates.setMinimumSizeMB(0.001);
    duplicates.start();
    ASSERT_TRUE(waitUntil([&] { return !duplicates.isSearching(); }));
    ASSERT_FALSE(duplicates.groups().empty());
    checkAtEverySize(duplicates, "DuplicateView");

    CleanupView cleanup(*model);
    ASSERT_TRUE(waitUntil([&] { return !cleanup.isLoading(); }));
    checkAtEverySize(cleanup, "CleanupView");

    DeveloperStorageView developer(*model);
    ASSERT_TRUE(waitUntil([&] { return !developer.isLoading(); }));
    checkAtEverySize(developer, "DeveloperStorageView");
}

} // namespace
