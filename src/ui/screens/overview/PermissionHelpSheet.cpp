#include "ui/screens/overview/PermissionHelpSheet.h"

#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* wrappingLabel(const QString& text, const QString& objectName)
{
    auto* label = new QLabel(text);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

PermissionHelpSheet::PermissionHelpSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("permissionHelpSheet"));
    setWindowTitle(tr("Grant Full Disk Access"));
    setFixedWidth(sheetWidth);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(14);

    QWidget* title = TintedLabelStyle(accentColor())
                         .makeBody(QStringLiteral("lock.shield"), tr("Grant Full Disk Access"));
    title->setObjectName(QStringLiteral("title"));
    applyTextStyle(title, TextStyle::title2, QFont::DemiBold);
    stack->addWidget(title);

    // Here the folders the scan is refused are plain file permissions, which no
    // settings pane grants; so the sheet says what does help, and offers no
    // buttons to the other system's settings panes.
    QLabel* here = wrappingLabel(
        tr("On Linux, a folder the scan could not read is one your account has no permission to open. To include "
           "it, have its owner or an administrator give your account read access to it (for example with chmod or "
           "by adding you to its group), then run a new scan. Folders of the system and of other users usually stay "
           "closed, and that is as it should be."),
        QStringLiteral("linuxHelp"));
    stack->addWidget(here);

    stack->addWidget(wrappingLabel(stepsText(), QStringLiteral("steps")));

    QLabel* note = wrappingLabel(
        tr("Some locations (for example /private/var/db and other users' folders) are readable only by macOS or "
           "their owners. Kestrelmoor will always show them as restricted — this is expected."),
        QStringLiteral("note"));
    applyTextStyle(note, TextStyle::callout);
    applyTextColor(note, textColor(TextEmphasis::secondary));
    stack->addWidget(note);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    closeButton_ = new QPushButton(tr("Close"));
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    // Escape closes through the dialog itself; Return has nothing else to do here.
    closeButton_->setDefault(true);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(closeButton_);
    stack->addLayout(buttons);
    // The height follows the wrapped texts at the fixed width.
    setFixedHeight(heightForWidth(sheetWidth));
}

QString PermissionHelpSheet::stepsText()
{
    return QStringLiteral(
        "1. Click \"Open System Settings\".\n"
        "2. In Privacy & Security \u25B8 Full Disk Access, turn on Kestrelmoor (use + to add it from your "
        "Applications folder if it isn't listed).\n"
        "3. Quit and reopen Kestrelmoor, then run a new scan.\n"
        "\n"
        "Full Disk Access lets Kestrelmoor measure folders such as Mail, Messages, Safari, the Trash and device "
        "backups. Kestrelmoor only reads file sizes and dates; it never reads file contents for analysis, and "
        "nothing leaves your Mac.");
}
