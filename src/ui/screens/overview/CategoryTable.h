#pragma once

#include "index/ScanRecords.h"

#include <QWidget>

#include <cstdint>
#include <map>
#include <vector>

class AppModel;
class CategoryTableModel;
class QGridLayout;
class QLabel;
class RowButton;
class UsageBar;

// The storage categories of the index in a grid: name, size, file count, share of
// the categorised total and how each is recognised. Clicking a category opens the
// largest files of that category. Each category's row is made once and keeps its
// place in the rows' order; where the width is too small for five columns, how a
// category is recognised moves to a line of its own under its row, and the bars
// narrow if they must.
class CategoryTable : public QWidget {
    Q_OBJECT

public:
    CategoryTable(AppModel& model, std::vector<CategoryUsage> categories, QWidget* parent = nullptr);

    void setCategories(std::vector<CategoryUsage> categories);
    const std::vector<CategoryUsage>& categories() const;
    CategoryTableModel* tableModel() const { return table_; }
    // False while the notes stand under the rows.
    bool notesInColumn() const { return notesInColumn_; }

    // `bytes` over the sum of all rows, with the sum taken as at least 1.
    static double share(std::int64_t bytes, std::int64_t total);
    static std::int64_t total(const std::vector<CategoryUsage>& categories);

    static constexpr int shareWidth = 100;
    // Where the notes stand under the rows, the bars give up width down to this.
    static constexpr int narrowShareWidth = 48;

    // As narrow as the rows with their notes under them allow.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Row {
        RowButton* link = nullptr;
        QLabel* size = nullptr;
        QLabel* count = nullptr;
        UsageBar* bar = nullptr;
        QLabel* note = nullptr;
    };

    Row& rowFor(StorageCategory category);
    void follow();
    void place();
    // The width five columns need, with the note's heading whole.
    int columnsWidth() const;
    void open(StorageCategory category);

    AppModel& model_;
    CategoryTableModel* table_;
    QGridLayout* grid_;
    std::vector<QLabel*> headers_;
    std::map<StorageCategory, Row> rows_;
    bool notesInColumn_ = true;
};
