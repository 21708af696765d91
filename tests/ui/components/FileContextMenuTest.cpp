#include "ui/components/FileContextMenu.h"

#include "analysis/FileItemPath.h"
#include "scanning/SecurityUtils.h"
#include "app/support/RecordingModel.h"
#include "support/FileItems.h"
#include "ui/support/UiTestSupport.h"

#include <QAction>
#include <QPointer>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The menu as a person reads it.
QStringList shown(const QMenu& menu)
{
    QStringList lines;
    for (const QAction* action : menu.actions())
        lines << (action->isSeparator() ? QStringLiteral("---")
                                        : action->text() + (action->isEnabled() ? "" : " (disabled)"));
    return lines;
}

QAction* actionTitled(const QMenu& menu, const QString& prefix)
{
    for (QAction* action : menu.actions())
        if (action->text().startsWith(prefix))
            return action;
    return nullptr;
}

class FileContextMenuTest : public ::testing::Test, protected RecordingModel {
protected:
    // A menu whose verdicts have arrived.
    FileContextMenu* judgedMenu(std::vector<FileItem> files)
    {
        FileContextMenu* menu = FileContextMenu::create(*model, std::move(files));
        if (menu && !waitUntil([menu] { return menu->hasVerdicts(); }))
            ADD_FAILURE() << "no verdicts";
        return menu;
    }

    // The program's own scan cache, in the home folder of the test.
    std::string ownCache()
    {
        const std::string ownFolder = SecurityUtils::appOwnedPaths().back();
        EXPECT_EQ(ownFolder.rfind(home.path(), 0), 0u) << ownFolder;
        return home.write(ownFolder.substr(home.path().size() + 1) + "/ScanCache.sqlite");
    }
};

} // namespace

TEST(FileContextMenuEntries, TrashItemWaitsForTheVerdicts)
{
    EXPECT_TRUE(FileContextMenu::entries(0, std::nullopt).empty());
    const auto pending = FileContextMenu::entries(2, std::nullopt);
    ASSERT_EQ(pending.size(), 5u);
    EXPECT_EQ(pending.back().title, QString::fromUtf8("Move to Trash\u2026"));
    EXPECT_FALSE(pending.back().enabled);
    EXPECT_EQ(pending[1].title, "Copy 2 Paths");
}

TEST_F(FileContextMenuTest, EntriesFollowTheVerdictsOfEachFile)
{
    const FileItem plain = fileAt(home.write("Documents/report.pdf"), {.id = 1, .allocatedSize = 4096});
    const FileItem second = fileAt(home.write("Downloads/setup.bin"), {.id = 2, .allocatedSize = 4096});
    const FileItem own = fileAt(ownCache(), {.id = 3});
    // Allowed by its path, but the stored name is a repaired one.
    const FileItem invalid =
        fileAt(home.write("Downloads/bad\xEF\xBF\xBDname"), {.id = 4, .flags = FileItem::Flags::invalidName});
    const FileItem temporary = fileAt("/tmp/kestrelmoor-menu-test/report.txt", {.id = 5});
    const QString trash = QString::fromUtf8("Move to Trash\u2026");

    struct Case {
        const char* what;
        std::vector<FileItem> files;
        QStringList expected;
    };
    const std::vector<Case> cases{
        {"one allowed file",
         {plain},
         {"Show in File Manager", "Open", "Copy Path", "Show Enclosing Folder Size", "---", trash}},
        {"one protected among three",
         {plain, own, second},
         {"Show in File Manager", "Copy 3 Paths", "Show Enclosing Folder Size", "---", trash + " (2 of 3 allowed)"}},
        {"only protected files",
         {own},
         {"Show in File Manager", "Open", "Copy Path", "Show Enclosing Folder Size", "---",
          trash + " (0 of 1 allowed) (disabled)",
          "Kestrelmoor does not modify its own application or database files. (disabled)"}},
        // The refusal says why, in the system's words.
        {"a temporary file",
         {temporary},
         {"Show in File Manager", "Open", "Copy Path", "Show Enclosing Folder Size", "---",
          trash + " (0 of 1 allowed) (disabled)",
          "Protected by the system: /tmp holds the temporary files of running programs, and the system clears it "
          "itself. (disabled)"}},
        {"an invalid name on an allowed path",
         {plain, invalid},
         {"Show in File Manager", "Copy 2 Paths", "Show Enclosing Folder Size", "---", trash + " (1 of 2 allowed)"}},
        {"only an invalid name",
         {invalid},
         {"Show in File Manager", "Open", "Copy Path", "Show Enclosing Folder Size", "---",
          trash + " (0 of 1 allowed) (disabled)",
          "A name on this item's path could not be read exactly, so Kestrelmoor cannot be sure which item it would "
          "move. Rename it in your file manager first. (disabled)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<FileContextMenu> menu(judgedMenu(c.files));
        ASSERT_TRUE(menu);
        EXPECT_EQ(shown(*menu), c.expected);
    }

    // The Trash item sends the allowed files only, as the menu judged them.
    std::unique_ptr<FileContextMenu> menu(judgedMenu({plain, own, second}));
    actionTitled(*menu, trash)->trigger();
    ASSERT_TRUE(waitUntil([&] { return model->trashRequest().has_value(); }));
    std::vector<TrashCandidate> expected{{plain.folderPath + "/report.pdf", "report.pdf", 4096, false, std::nullopt},
                                         {second.folderPath + "/setup.bin", "setup.bin", 4096, false, std::nullopt}};
    EXPECT_EQ(model->trashRequest()->candidates, expected);
    EXPECT_FALSE(model->alert());
}

TEST_F(FileContextMenuTest, OpensAtOnceAndFillsInTheTrashItemWhenJudged)
{
    const FileItem own = fileAt(ownCache(), {.id = 1});
    const QString trash = QString::fromUtf8("Move to Trash\u2026");

    QPointer<FileContextMenu> menu = FileContextMenu::create(*model, {own});
    menu->popup(QPoint(10, 10));
    EXPECT_FALSE(menu->hasVerdicts());
    EXPECT_EQ(shown(*menu), QStringList({"Show in File Manager", "Open", "Copy Path", "Show Enclosing Folder Size", "---",
                                         trash + " (disabled)"}));
    ASSERT_TRUE(waitUntil([&] { return menu->hasVerdicts(); }));
    EXPECT_EQ(shown(*menu).mid(5),
              QStringList({trash + " (0 of 1 allowed) (disabled)",
                           "Kestrelmoor does not modify its own application or database files. (disabled)"}));
    menu->close();
    EXPECT_TRUE(waitUntil([&] { return menu.isNull(); }));

    // A menu closed before its verdicts arrive receives nothing.
    QPointer<FileContextMenu> brief = FileContextMenu::create(*model, {own});
    brief->popup(QPoint(10, 10));
    brief->close();
    EXPECT_TRUE(waitUntil([&] { return brief.isNull(); }));
    EXPECT_TRUE(finishBackgroundWork());
}

TEST_F(FileContextMenuTest, NoFilesNoMenu)
{
    EXPECT_EQ(FileContextMenu::create(*model, {}), nullptr);
}

TEST_F(FileContextMenuTest, ActionsReachTheDesktopAndTheModel)
{
    const FileItem report = fileAt(home.write("Documents/report.pdf"), {.id = 1});
    const FileItem notes = fileAt(home.write("notes.txt"), {.id = 2});
    const FileItem rooted = fileAt("/kestrel-missing-root-file", {.id = 3});

    std::unique_ptr<FileContextMenu> pair(judgedMenu({report, notes}));
    actionTitled(*pair, "Copy 2 Paths")->trigger();
    ASSERT_EQ(desktop->copied.size(), 1u);
    EXPECT_EQ(desktop->copied.back(), report.folderPath + "/report.pdf\n" + home.path() + "/notes.txt");
    actionTitled(*pair, "Show in File Manager")->trigger();
    ASSERT_EQ(desktop->revealed.size(), 1u);
    EXPECT_EQ(desktop->revealed.back(), (std::vector<std::string>{pathOf(report), pathOf(notes)}));

    // Only the first file's folder counts; the focus is in place before the screen changes.
    std::vector<std::string> steps;
    QObject::connect(model.get(), &AppModel::largestFoldersFocusChanged,
                     [&] { steps.push_back("focus " + model->largestFoldersFocus().value_or("none")); });
    QObject::connect(model.get(), &AppModel::selectionChanged, [&] { steps.push_back("selection"); });
    std::unique_ptr<FileContextMenu> root(judgedMenu({rooted, report}));
    actionTitled(*root, "Show Enclosing Folder Size")->trigger();
    EXPECT_EQ(steps, (std::vector<std::string>{"focus /", "selection"}));
    EXPECT_EQ(model->selection(), SidebarItem::largestFolders);

    std::unique_ptr<FileContextMenu> single(judgedMenu({rooted}));
    actionTitled(*single, "Copy Path")->trigger();
    EXPECT_EQ(desktop->copied.back(), "/kestrel-missing-root-file");
    // Nothing could open it: a beep, not silence.
    desktop->opens = false;
    actionTitled(*single, "Open")->trigger();
    EXPECT_EQ(desktop->openedItems, (std::vector<std::string>{"/kestrel-missing-root-file"}));
    EXPECT_EQ(desktop->beeps, 1);
    desktop->opens = true;
    std::unique_ptr<FileContextMenu> opened(judgedMenu({report}));
    actionTitled(*opened, "Open")->trigger();
    EXPECT_EQ(desktop->beeps, 1);
}
