#include "ui/screens/overview/RecentFilesList.h"

#include "ui/screens/overview/OverviewTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "support/ScannedTree.h"
#include "support/RecordingDesktop.h"
#include "ui/components/ElidedLabel.h"

#include <QLabel>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

constexpr double now = 1'800'000'000;

class RecentFilesListTest : public OverviewModelTest {
protected:
    void SetUp() override
    {
        OverviewModelTest::SetUp();
        model->setDesktopServices(desktop);
    }

    static void doubleClick(QWidget* row)
    {
        QMouseEvent press(QEvent::MouseButtonDblClick, QPointF(5, 5), row->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(row, &press);
    }

    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
};

TEST_F(RecentFilesListTest, RowsFollowTheGivenFilesAndADoubleClickRevealsOne)
{
    TempDir tree;
    tree.write("disk/Movies/holiday.mov", 900'000);
    tree.write("disk/Downloads/installer-with-a-rather-long-name-that-will-not-fit-1.2.3.dmg", 600'000);
    tree.write("disk/notes.txt", 200'000);
    ScannedTree scanned;
    scanned.scan({tree.file("disk")});
    std::vector<FileItem> files = scanned.database.largestFiles(8);
    ASSERT_EQ(files.size(), 3u);
    // Given smallest first: shown as given, never re-sorted.
    std::reverse(files.begin(), files.end());
    files[1].modified = now - 3 * 86'400;
    files[2].modified.reset();

    RecentFilesList list(*model, files, now);
    list.resize(380, 200);
    list.show();
    QCoreApplication::processEvents();
    const auto rows = list.rows();
    ASSERT_EQ(rows.size(), 3u);
    for (int index = 0; index < 3; ++index) {
        const FileItem& file = files[static_cast<std::size_t>(index)];
        EXPECT_EQ(rows[index]->findChild<ElidedLabel*>("fileName")->text().toStdString(), file.name);
        EXPECT_EQ(rows[index]->findChild<QLabel*>("fileSize")->text().toStdString(),
                  ByteFormatter::string(file.allocatedSize));
        EXPECT_EQ(rows[index]->toolTip().toStdString(), file.folderPath + "/" + file.name);
    }
    EXPECT_EQ(rows[1]->findChild<QLabel*>("fileModified")->text(), "3 days ago");
    EXPECT_EQ(rows[2]->findChild<QLabel*>("fileModified")->text(), "");
    // An empty date line keeps the row's height.
    EXPECT_EQ(rows[2]->height(), rows[1]->height());
    const QString shownName = rows[1]->findChild<ElidedLabel*>("fileName")->shownText();
    EXPECT_TRUE(shownName.startsWith("installer") && shownName.endsWith(".dmg")) << shownName.toStdString();
    saveScreenshot(list, QStringLiteral("recent-files-list"));

    doubleClick(rows[1]);
    ASSERT_EQ(desktop->revealed.size(), 1u);
    EXPECT_EQ(desktop->revealed[0], std::vector<std::string>{files[1].folderPath + "/" + files[1].name});
    EXPECT_EQ(desktop->revealed[0][0], tree.file("disk/Downloads/" + files[1].name));

    // A new list is shown in the same rows; a row it does not need is hidden.
    list.setFiles({files[2], files[0]}, now);
    ASSERT_EQ(list.rows().size(), 2u);
    EXPECT_EQ(list.rows()[0], rows[0]);
    EXPECT_EQ(rows[0]->findChild<ElidedLabel*>("fileName")->text().toStdString(), files[2].name);
    EXPECT_FALSE(rows[2]->isVisibleTo(&list));
    doubleClick(rows[1]);
    EXPECT_EQ(desktop->revealed.back(), std::vector<std::string>{files[0].folderPath + "/" + files[0].name});
}

TEST_F(RecentFilesListTest, EmptyListAndFilesInTheRootFolder)
{
    RecentFilesList empty(*model, {}, now);
    EXPECT_TRUE(empty.rows().empty());
    ASSERT_NE(empty.findChild<QLabel*>("noRecentFiles"), nullptr);
    EXPECT_TRUE(empty.findChild<QLabel*>("noRecentFiles")->isVisibleTo(&empty));
    EXPECT_EQ(empty.findChild<QLabel*>("noRecentFiles")->text(),
              "No files over 100 MB were modified in the last 30 days.");

    FileItem root;
    root.name = "swapfile";
    root.folderPath = "/";
    root.allocatedSize = 2'000'000'000;
    RecentFilesList list(*model, {root}, now);
    EXPECT_EQ(list.rows().front()->toolTip(), "/swapfile");
    EXPECT_FALSE(list.findChild<QLabel*>("noRecentFiles")->isVisibleTo(&list));
}

} // namespace
