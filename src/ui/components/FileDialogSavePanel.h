#pragma once

#include "platform/SavePanel.h"

#include <QPointer>
#include <QWidget>

class QFileDialog;

// The save panel as the toolkit's file dialog, modal over the given window. The
// dialog is a child of that window and closes, as cancelled, if the window goes.
class FileDialogSavePanel : public SavePanel {
public:
    explicit FileDialogSavePanel(QWidget* window = nullptr) : window_(window) {}

    std::optional<std::string> chooseSaveLocation(const std::string& suggestedFileName,
                                                  const std::string& typeDescription,
                                                  const std::string& extension) override;

    // The dialog as it opens: one filter ("CSV document (*.csv)"), the name preset, and
    // the extension added to a name typed without it.
    static QFileDialog* makeDialog(const std::string& suggestedFileName, const std::string& typeDescription,
                                   const std::string& extension, QWidget* parent);

private:
    QPointer<QWidget> window_;
};
