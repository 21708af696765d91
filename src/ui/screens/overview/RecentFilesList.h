#pragma once

#include "index/FileRecords.h"

#include <QWidget>

#include <vector>

class AppModel;

// The largest recently modified files, as the summary lists them: a double click
// reveals one in the file manager, a right click offers the file menu.
class RecentFilesList : public QWidget {
    Q_OBJECT

public:
    RecentFilesList(AppModel& model, std::vector<FileItem> files, double nowSeconds, QWidget* parent = nullptr);

    const std::vector<FileItem>& files() const { return files_; }
    // The second line of a row: how long ago the file changed, empty without a date.
    static QString modifiedText(const FileItem& file, double nowSeconds);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppModel& model_;
    std::vector<FileItem> files_;
    std::vector<QWidget*> rows_;
};
