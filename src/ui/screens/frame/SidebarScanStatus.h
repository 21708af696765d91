#pragma once

#include <QWidget>

class AppModel;
class QLabel;
class QProgressBar;
class QToolButton;

// The sidebar's footer: how far a running scan has got, or when the last scan
// ended, and the permanent offline line that leads to the Privacy screen.
class SidebarScanStatus : public QWidget {
    Q_OBJECT

public:
    explicit SidebarScanStatus(AppModel& model, QWidget* parent = nullptr);

    // How often the last scan's age is worded again.
    static constexpr int clockInterval = 15'000;

    // Redraws from the coordinator; also run on every change it announces.
    void refresh();

protected:
    // The count follows the user's digit grouping when the locale changes.
    void changeEvent(QEvent* event) override;

private:
    AppModel& model_;
    QWidget* activeRow_;
    QLabel* phaseLabel_;
    QLabel* countLabel_;
    QProgressBar* bar_;
    QLabel* lastScanLabel_;
    QLabel* incompleteLabel_;
    QLabel* notScannedLabel_;
    QToolButton* offlineButton_;
};
