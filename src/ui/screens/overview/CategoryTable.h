#pragma once

#include "index/ScanRecords.h"

#include <QTableView>

#include <array>
#include <cstdint>
#include <vector>

class AppModel;
class CategoryTableModel;

// The storage categories of the index as a table: name, size, file count, share of the
// categorised total and how each is recognised. A category that stays is the same row,
// whatever its new figures. Clicking a category opens the largest files of that category.
// The table is as tall as its rows (the page around it scrolls); how a category is
// recognised wraps within the width the other columns leave it (inside a word only
// where the word is wider than that), and the bars narrow before the notes would get
// narrower than their heading's longest word.
class CategoryTable : public QTableView {
    Q_OBJECT

public:
    CategoryTable(AppModel& model, std::vector<CategoryUsage> categories, QWidget* parent = nullptr);

    void setCategories(std::vector<CategoryUsage> categories);
    const std::vector<CategoryUsage>& categories() const;
    CategoryTableModel* tableModel() const { return table_; }

    // `bytes` over the sum of all rows, with the sum taken as at least 1.
    static double share(std::int64_t bytes, std::int64_t total);
    static std::int64_t total(const std::vector<CategoryUsage>& categories);

    static constexpr int shareWidth = 100;
    // Where the notes would be narrower than their heading's longest word, the bars give
    // up width down to this.
    static constexpr int narrowShareWidth = 48;
    // The columns' widths in a table `width` wide: the name, size and file count as wide as
    // they need (`needed`), the share's bar 100 wide, narrowing to 48 before the notes would
    // be narrower than `noteMinimum`, the notes what is left, and never less than that.
    static std::array<int, 5> columnWidths(int width, const std::array<int, 3>& needed, int noteMinimum);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Lays the columns out for the width, lets the rows take the notes' lines, and
    // makes the table as tall as its rows.
    void fit();
    // The width a column's heading and cells take on one line each.
    int widestCell(int column) const;
    std::array<int, 3> neededWidths() const;
    // The notes' column as narrow as their heading's longest word: the heading and the notes wrap.
    int noteMinimum() const;
    // The heading's height with the notes' heading wrapped in its column.
    int headingHeight() const;
    int rowsHeight() const;
    void open(const QModelIndex& index);

    AppModel& model_;
    CategoryTableModel* table_;
};
