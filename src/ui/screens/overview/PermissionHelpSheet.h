#pragma once

#include <QDialog>

class QPushButton;

// Explains why the scan could not read some folders and what can be done about
// it. It checks and grants nothing; it only closes. The same sheet opens from
// every screen that offers it.
class PermissionHelpSheet : public QDialog {
    Q_OBJECT

public:
    explicit PermissionHelpSheet(QWidget* parent = nullptr);

    // The numbered steps and the paragraph below them, shown verbatim.
    static QString stepsText();

    static constexpr int sheetWidth = 520;

private:
    QPushButton* closeButton_ = nullptr;
};
