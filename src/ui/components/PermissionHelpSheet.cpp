#include "ui/components/PermissionHelpSheet.h"

#include "app/PermissionManager.h"
#include "app/system/StorageSandbox.h"
#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"

#include <QDesktopServices>
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

void openSettings(const char* link)
{
    PermissionManager::openSettingsURL(link, [](const QUrl& url) { QDesktopServices::openUrl(url); });
}

} // namespace

PermissionHelpSheet::Form PermissionHelpSheet::formHere()
{
    if (PermissionManager::canOpenSettingsURL(PermissionManager::fullDiskAccessSettingsURL))
        return Form::systemSettings;
    return StorageSandbox::detect().kind == StorageSandbox::Kind::none ? Form::permissions : Form::sandbox;
}

PermissionHelpSheet::PermissionHelpSheet(QWidget* parent) : PermissionHelpSheet(formHere(), parent) {}

PermissionHelpSheet::PermissionHelpSheet(Form form, QWidget* parent) : QDialog(parent), form_(form)
{
    setObjectName(QStringLiteral("permissionHelpSheet"));
    setWindowTitle(titleText(form_));
    setFixedWidth(sheetWidth);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(14);

    QWidget* title = TintedLabelStyle(accentColor())
                         .makeBody(QStringLiteral("lock.shield"), titleText(form_));
    title->setObjectName(QStringLiteral("title"));
    applyTextStyle(title, TextStyle::title2, QFont::DemiBold);
    stack->addWidget(title);

    stack->addWidget(wrappingLabel(stepsText(form_), QStringLiteral("steps")));

    QLabel* note = wrappingLabel(noteText(form_), QStringLiteral("note"));
    applyTextStyle(note, TextStyle::callout);
    applyTextColor(note, textColor(TextEmphasis::secondary));
    stack->addWidget(note);

    auto* buttons = new QHBoxLayout;
    closeButton_ = new QPushButton(tr("Close"));
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
    if (form_ == Form::systemSettings) {
        auto* filesAndFolders = new QPushButton(tr("Files && Folders Settings"));
        filesAndFolders->setObjectName(QStringLiteral("filesAndFoldersButton"));
        filesAndFolders->setAutoDefault(false);
        connect(filesAndFolders, &QPushButton::clicked, this,
                [] { openSettings(PermissionManager::filesAndFoldersSettingsURL); });
        buttons->addWidget(filesAndFolders);
        buttons->addStretch(1);
        closeButton_->setAutoDefault(false);
        buttons->addWidget(closeButton_);
        // Return opens the pane and leaves the sheet open.
        auto* open = new QPushButton(tr("Open System Settings"));
        open->setObjectName(QStringLiteral("openSettingsButton"));
        open->setDefault(true);
        connect(open, &QPushButton::clicked, this, [] { openSettings(PermissionManager::fullDiskAccessSettingsURL); });
        buttons->addWidget(open);
    } else {
        buttons->addStretch(1);
        // Return has nothing else to do here.
        closeButton_->setDefault(true);
        buttons->addWidget(closeButton_);
    }
    stack->addLayout(buttons);
    // The height follows the wrapped texts at the fixed width.
    setFixedHeight(heightForWidth(sheetWidth));
}

QString PermissionHelpSheet::titleText(Form form)
{
    return form == Form::systemSettings ? tr("Grant Full Disk Access") : tr("Grant Read Access");
}

QString PermissionHelpSheet::stepsText(Form form)
{
    switch (form) {
    case Form::systemSettings:
        return QStringLiteral(
            "1. Click \"Open System Settings\".\n"
            "2. In Privacy & Security \u25B8 Full Disk Access, turn on Kestrelmoor (use + to add it from your "
            "Applications folder if it isn't listed).\n"
            "3. Quit and reopen Kestrelmoor, then run a new scan.\n"
            "\n"
            "Full Disk Access lets Kestrelmoor measure folders such as Mail, Messages, Safari, the Trash and device "
            "backups. Kestrelmoor only reads file sizes and dates; it never reads file contents for analysis, and "
            "nothing leaves your Mac.");
    case Form::permissions:
        return QStringLiteral(
            "1. Find the folder: it shows \u201CAccess Restricted\u201D on the Storage Access screen and a lock in "
            "Largest Folders.\n"
            "2. Have its owner or an administrator give your account read access to it (for example with chmod, or "
            "by adding you to its group).\n"
            "3. Run a new scan.\n"
            "\n"
            "Here a folder the scan can't read is one your account has no permission to open; no setting of "
            "Kestrelmoor changes that. Kestrelmoor only reads file sizes and dates; it never reads file contents for "
            "analysis, and nothing leaves your computer.");
    case Form::sandbox:
        return QStringLiteral(
            "1. On the Storage Access screen, copy the command shown under the access line.\n"
            "2. Run it in a terminal; it lets Kestrelmoor's sandbox reach your folders.\n"
            "3. Quit and reopen Kestrelmoor, then run a new scan.\n"
            "\n"
            "Kestrelmoor runs in a sandbox that hides most folders from it, whatever their permissions say. "
            "Kestrelmoor only reads file sizes and dates; it never reads file contents for analysis, and nothing "
            "leaves your computer.");
    }
    return {};
}

QString PermissionHelpSheet::noteText(Form form)
{
    if (form == Form::systemSettings)
        return QStringLiteral("Some locations (for example /private/var/db and other users' folders) are readable "
                              "only by macOS or their owners. Kestrelmoor will always show them as restricted — this "
                              "is expected.");
    return QStringLiteral("Some locations (for example /root and other users' home folders) are readable only by the "
                          "administrator or their owners. Kestrelmoor will always show them as restricted — this is "
                          "expected.");
}
