#pragma once

#include "ui/components/EmptyStateView.h"

class AppModel;

// What screens built on the scan cache show until there is something to show:
// their own title and message, and a "Scan Computer" button that starts a fresh scan.
// The button is off while a scan is under way (a paused one too) and for good
// when the scan cache could not be opened.
class ScanRequiredView : public EmptyStateView {
    Q_OBJECT

public:
    ScanRequiredView(AppModel& model, const QString& title, const QString& message, QWidget* parent = nullptr);

    static bool canStartScan(const AppModel& model);

private:
    void refresh();

    AppModel& model_;
};
