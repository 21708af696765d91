#pragma once

#include <QDialog>

class QPushButton;

// Explains how to let the scan read the folders it is refused, and which stay
// unreadable whatever is done. It checks and grants nothing: where the system has
// a settings pane for it, its buttons open that pane; elsewhere the steps say what
// the user can do, and the sheet only closes. The same sheet opens from every
// screen that offers it.
class PermissionHelpSheet : public QDialog {
    Q_OBJECT

public:
    // What the steps are about, and so which buttons the sheet has.
    enum class Form {
        systemSettings, // a privacy setting, with buttons to its panes
        permissions,    // plain file permissions, which no settings pane grants
        sandbox,        // a Flatpak or snap sandbox, widened by a command
    };

    // The form this system calls for.
    explicit PermissionHelpSheet(QWidget* parent = nullptr);
    PermissionHelpSheet(Form form, QWidget* parent = nullptr);

    static Form formHere();
    // The numbered steps and the paragraph below them, shown verbatim.
    // The sheet's title: Full Disk Access is macOS's; elsewhere the sheet is about read access.
    static QString titleText(Form form);
    static QString stepsText(Form form);
    static QString noteText(Form form);

    Form form() const { return form_; }

    static constexpr int sheetWidth = 520;

private:
    Form form_;
    QPushButton* closeButton_ = nullptr;
};
