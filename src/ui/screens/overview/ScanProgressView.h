#pragma once

#include "scanning/ScanProgress.h"
#include "ui/components/SectionCard.h"

#include <optional>
#include <vector>

class AppModel;
class ElidedLabel;
class QLabel;
class QProgressBar;
class QPushButton;

// The live panel of a scan: its phase, the controls to pause, continue, stop or
// resume it, and its running counters as the coordinator publishes them.
class ScanProgressView : public SectionCard {
    Q_OBJECT

public:
    explicit ScanProgressView(AppModel& model, QWidget* parent = nullptr);

    static QString title(const ScanProgress& progress);
    // How long the scan has run, paused time left out.
    static double elapsedSeconds(const ScanProgress& progress);
    // Minutes and two-digit seconds, minutes counting on past an hour: "75:00".
    static QString elapsedText(double seconds);

    // The value texts of the counters, in their order.
    std::vector<QString> values() const;

private:
    void refresh();
    void pauseOrContinue();

    AppModel& model_;
    QPushButton* pause_;
    QPushButton* cancel_;
    QPushButton* resume_;
    QProgressBar* bar_;
    std::vector<QLabel*> values_;
    QWidget* location_;
    ElidedLabel* path_;
    QLabel* stoppedNote_;
};
