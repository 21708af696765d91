#include "ui/components/FileDialogSavePanel.h"

#include "app/QtText.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>

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
    const std::unique_ptr<QFileDialog> dialog(makeDialog(suggestedFileName, typeDescription, extension, window_));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return stdstr(dialog->selectedFiles().front());
}
