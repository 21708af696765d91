#pragma once

#include <QDialog>

class AppModel;

// The first-run greeting: what the program does with the user's data, and two
// ways on. It never reads or writes the first-run flag itself.
class WelcomeSheet : public QDialog {
    Q_OBJECT

public:
    explicit WelcomeSheet(AppModel& model, QWidget* parent = nullptr);

private:
    AppModel& model_;
};
