#pragma once

#include "index/FileRecords.h"

#include <QWidget>

#include <vector>

class AppModel;
class ElidedLabel;
class QLabel;
class QVBoxLayout;

// The largest recently modified files, as the summary lists them: a double click
// reveals one in the file manager, a right click offers the file menu. Rows are
// kept and given new files; only rows beyond the list are hidden.
class RecentFilesList : public QWidget {
    Q_OBJECT

public:
    RecentFilesList(AppModel& model, std::vector<FileItem> files, double nowSeconds, QWidget* parent = nullptr);

    void setFiles(std::vector<FileItem> files, double nowSeconds);
    const std::vector<FileItem>& files() const { return files_; }
    // The rows showing the files, in order.
    std::vector<QWidget*> rows() const;
    // The second line of a row: how long ago the file changed, empty without a date.
    static QString modifiedText(const FileItem& file, double nowSeconds);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        QWidget* view = nullptr;
        QLabel* icon = nullptr;
        ElidedLabel* name = nullptr;
        QLabel* modified = nullptr;
        QLabel* size = nullptr;
    };
    Row makeRow();

    AppModel& model_;
    std::vector<FileItem> files_;
    QLabel* empty_;
    QVBoxLayout* column_;
    std::vector<Row> rows_;
};
