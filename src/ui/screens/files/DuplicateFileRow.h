#pragma once

#include "index/FileRecords.h"

#include <QWidget>

class AppModel;
class QCheckBox;

// One copy in a duplicate group: its tick box, category symbol, name, folder and
// modification date. Double-clicking reveals it; right-clicking offers the file menu.
class DuplicateFileRow : public QWidget {
    Q_OBJECT

public:
    DuplicateFileRow(AppModel& model, FileItem file, const std::string& home, QWidget* parent = nullptr);

    const FileItem& file() const { return file_; }
    QCheckBox* checkBox() const { return check_; }
    // Shows the tick without announcing it.
    void setTicked(bool ticked, bool enabled);

signals:
    void tickToggled(bool ticked);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    AppModel& model_;
    FileItem file_;
    QCheckBox* check_;
};
