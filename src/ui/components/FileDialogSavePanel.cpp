#include "ui/components/FileDialogSavePanel.h"

#include "app/QtText.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>


QFileDialog* FileDialogSavePanel::makeDialog(const std::string& suggestedFileName, const std::string& typeDescription,
                                             const std::string& extension, QWidget* parent)
{
    auto* dialog = new QFileDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(qstr(typeDescription) + QStringLiteral(" (*.") + qstr(extension) + QLatin1Char(')'));
    dialog->setDefaultSuffix(qstr(extension));
    // Without a Documents folder the dialog would open in the working directory.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog->setDirectory(QFileInfo(documents).isDir() ? documents : QDir::homePath());
    dialog->selectFile(qstr(suggestedFileName));
    dialog->setWindowModality(Qt::WindowModal);
    return dialog;
}

std::optional<std::string> FileDialogSavePanel::chooseSaveLocation(const std::string& suggestedFileName,
                                                                   const std::string& typeDescription,
                                                                   const std::string& extension)
{
    // The dialog belongs to its window: when the window goes while the dialog is open,
    // the dialog goes with it and the choice counts as cancelled. Nothing of this
    // panel is touched after the dialog returns, since its owner may be gone by then.
    QPointer<QFileDialog> dialog = makeDialog(suggestedFileName, typeDescription, extension, window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    const int result = dialog->exec();
    if (!dialog)
        return std::nullopt;
    std::optional<std::string> chosen;
    if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        chosen = stdstr(dialog->selectedFiles().front());
    delete dialog.data();
    return chosen;
}
