#pragma once

#include <QMainWindow>
#include <QRect>

#include <optional>

#include "app/system/SidebarItem.h"
#include "ui/screens/frame/SidebarList.h"

class AppModel;
class QLineEdit;
class QMessageBox;
class QSplitter;
class QVBoxLayout;
class ScanToolbar;
class SidebarScanStatus;
class TrashConfirmationSheet;
class WelcomeSheet;

// The main window's content: the sidebar of screens with the scan status footer,
// the detail column rebuilt whenever the selection changes, the toolbar's scan
// controls and search field, the removal sheet, the welcome sheet and the alert.
class ContentView : public QMainWindow {
    Q_OBJECT

public:
    explicit ContentView(AppModel& model, QWidget* parent = nullptr);

    QListWidget* sidebarList() const { return sidebar_; }
    QWidget* currentScreen() const { return screen_; }
    QLineEdit* searchField() const { return search_; }
    TrashConfirmationSheet* trashSheet() const { return trashSheet_; }
    WelcomeSheet* welcomeSheet() const { return welcomeSheet_; }
    QMessageBox* alertBox() const { return alertBox_; }

    // Gives the window the size, place and maximized state it had when last closed,
    // or `defaultSize` the first time.
    void restorePlacement(QSize defaultSize);
    // Saved when the window closes.
    void savePlacement() const;

    // How long the welcome sheet waits for the window manager at most.
    static constexpr int welcomeDelay = 300;

    static const QString frameKey;
    static const QString maximizedKey;

signals:
    // The window came on screen; the program's start-up work hangs on this.
    void appeared();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildSidebar();
    void buildToolbar();
    void syncSidebarSelection();
    void sidebarSelectionEdited();
    void showSelectedScreen();
    void presentTrashRequest();
    void presentAlert();
    void runFirstRunRule();
    void rememberNormalFrame();
    void presentWelcome();

    AppModel& model_;
    QSplitter* splitter_ = nullptr;
    SidebarList* sidebar_ = nullptr;
    SidebarScanStatus* scanStatus_ = nullptr;
    QWidget* detail_ = nullptr;
    QVBoxLayout* detailLayout_ = nullptr;
    QWidget* screen_ = nullptr;
    QLineEdit* search_ = nullptr;
    ScanToolbar* scanToolbar_ = nullptr;
    TrashConfirmationSheet* trashSheet_ = nullptr;
    WelcomeSheet* welcomeSheet_ = nullptr;
    QMessageBox* alertBox_ = nullptr;
    // The frame's position and the content size while neither maximized nor minimized.
    QRect normalFrame_;
    bool welcomePending_ = false;
};
