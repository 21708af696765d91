#pragma once

#include <QWidget>

class AppModel;
class QProgressBar;
class QToolButton;

// The window toolbar's scan controls: start or resume while no scan is active;
// a busy indicator, pause or continue, and cancel while one is.
class ScanToolbar : public QWidget {
    Q_OBJECT

public:
    explicit ScanToolbar(AppModel& model, QWidget* parent = nullptr);

    void refresh();

    // The scan button's help text, with the menu's shortcut for it.
    static QString scanHelpText();

private:
    AppModel& model_;
    QProgressBar* busy_;
    QToolButton* pauseButton_;
    QToolButton* cancelButton_;
    QToolButton* resumeButton_;
    QToolButton* scanButton_;
};
