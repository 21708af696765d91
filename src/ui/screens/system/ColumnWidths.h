#pragma once

#include <vector>

class QObject;
class QTableView;

// The column widths of a table that gives its spare width to one flexible column
// rather than to the last one, and that keeps that column wide enough for what it
// holds (up to its ideal width) when the table is short of room. A column with a maximum follows what it holds
// between its minimum and that maximum; the others start at their ideal width.
// Widths the user drags stay until what the column holds asks for another.
class ColumnWidths {
public:
    struct Column {
        int minimum = 0;
        int ideal = 0;
        int maximum = 0; // 0: a fixed ideal width; of the flexible column, how wide it holds its text
    };

    // Fits again whenever the table's visible width changes (a panel beside it opening, a
    // divider dragged), not only when its screen is resized.
    ColumnWidths(QTableView& table, std::vector<Column> columns, int flexible);
    ~ColumnWidths();
    ColumnWidths(const ColumnWidths&) = delete;
    ColumnWidths& operator=(const ColumnWidths&) = delete;

    // After new rows or a new size.
    void fit();

    // The flexible column's width: what the others leave of `available`, never below its minimum.
    static int flexibleWidth(int available, int others, int minimum);
    // A fitted column's width for the room its cells and its title ask for.
    static int fittedWidth(int cells, int title, const Column& column);

private:
    int titleWidth(int column) const;

    QTableView& table_;
    std::vector<Column> columns_;
    int flexible_;
    std::vector<int> fitted_;
    QObject* watcher_;
};
