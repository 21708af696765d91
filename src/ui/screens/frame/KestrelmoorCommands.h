#pragma once

#include <QKeySequence>
#include <QObject>

#include <functional>
#include <vector>

class AppModel;
class QAction;
class QMenuBar;

// The program's menus: File (settings, quit; no second main window), Scan (start,
// resume, pause or continue, cancel) and View (screen shortcuts). Titles and
// enabled states follow the scan state.
class KestrelmoorCommands : public QObject {
    Q_OBJECT

public:
    KestrelmoorCommands(AppModel& model, QMenuBar* menuBar, std::function<void()> openSettings,
                        QObject* parent = nullptr);

    // "Scan Computer", in the menu and in the toolbar's help text.
    static QKeySequence scanShortcut();

    QAction* scanAction() const { return scan_; }
    QAction* resumeAction() const { return resume_; }
    QAction* pauseAction() const { return pause_; }
    QAction* cancelAction() const { return cancel_; }
    // The nine numbered screen shortcuts, then "Search".
    const std::vector<QAction*>& screenActions() const { return screens_; }

    void refresh();

private:
    AppModel& model_;
    QAction* scan_;
    QAction* resume_;
    QAction* pause_;
    QAction* cancel_;
    std::vector<QAction*> screens_;
};
