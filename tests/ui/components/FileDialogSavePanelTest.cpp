#include "ui/components/FileDialogSavePanel.h"

#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"

#include <QFileDialog>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The panel's dialog while it runs; `act` is done to it from inside its own loop.
void whileOpen(QWidget* owner, std::function<void(QFileDialog&)> act)
{
    QTimer::singleShot(50, owner, [owner, act = std::move(act)] {
        if (auto* dialog = owner->findChild<QFileDialog*>())
            act(*dialog);
    });
}

TEST(FileDialogSavePanelTest, AcceptedTheSuggestedNameIsChosenInTheFolderShown)
{
    ensureApplication();
    TempDir folder;
    QWidget owner;
    owner.show();
    FileDialogSavePanel panel(&owner);
    whileOpen(&owner, [&](QFileDialog& dialog) {
        dialog.setDirectory(QString::fromStdString(folder.path()));
        static_cast<QDialog&>(dialog).accept();
    });
    EXPECT_EQ(panel.chooseSaveLocation("Kestrelmoor Largest Files.csv", "CSV document", "csv"),
              std::optional<std::string>(folder.file("Kestrelmoor Largest Files.csv")));
    EXPECT_EQ(owner.findChild<QFileDialog*>(), nullptr);
}

// The screen that asked goes away while the dialog is open (the user left it):
// the dialog goes with it, the choice is cancelled, and nothing is touched twice.
TEST(FileDialogSavePanelTest, ClosesAsCancelledWhenItsWindowGoes)
{
    ensureApplication();
    auto* owner = new QWidget;
    owner->show();
    auto panel = std::make_shared<FileDialogSavePanel>(owner);
    whileOpen(owner, [&](QFileDialog&) {
        delete owner;
        panel.reset();
    });
    FileDialogSavePanel* running = panel.get();
    EXPECT_EQ(running->chooseSaveLocation("a.csv", "CSV document", "csv"), std::nullopt);
    EXPECT_FALSE(panel);
}

} // namespace
