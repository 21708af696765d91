#pragma once

#include "index/FileRecords.h"
#include "ui/components/KeyedTableModel.h"

#include <QString>

#include <array>
#include <optional>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct FileTableRow {
    FileItem file;
    std::optional<int> rank;
    friend bool operator==(const FileTableRow&, const FileTableRow&) = default;
};

// The rows of the file table: the screen's files in the table's own sort order,
// with their size ranks. The model sorts itself, always stably from the screen's
// order, so that rows with equal keys never depend on an earlier sort. Rows are
// files matched by id: a new list or a new order moves them, and the view's
// selection and current row move with them.
class FileTableModel : public KeyedTableModel<FileTableRow, std::int64_t> {
    Q_OBJECT

public:
    enum Column { name, size, type, category, modified, created, location };
    static constexpr int columnTotal = location + 1;

    struct SortKey {
        Column column = size;
        bool ascending = true;
        friend bool operator==(const SortKey&, const SortKey&) = default;
    };
    // The first key decides; each later key only orders rows the earlier ones find equal.
    using SortOrder = std::vector<SortKey>;

    struct ColumnSpec {
        const char* title;
        int minimumWidth;
        int idealWidth;
    };
    static const std::array<ColumnSpec, columnTotal>& columns();

    // What the name cell's delegate draws besides the name (the display role).
    enum Role { rankRole = Qt::UserRole + 1, symbolRole, tintRole, hiddenRole, hardLinkRole, rankWidthTextRole };

    explicit FileTableModel(QObject* parent = nullptr);

    // Row positions into `files` in display order.
    static std::vector<int> sortedRows(const std::vector<FileItem>& files, const SortOrder& order);
    // Size ranks from 1, larger first; equal sizes keep the order of `files`.
    static std::unordered_map<std::int64_t, int> ranks(const std::vector<FileItem>& files);
    // The order after a click on a column header: that column first, its direction
    // turned when it already was first.
    static SortOrder afterHeaderClick(SortOrder order, Column column);

    static QString cellText(const FileItem& file, Column column);
    static QString sizeToolTip(const FileItem& file);
    static const QString& hardLinkNote();

    void setFiles(std::vector<FileItem> files);
    const std::vector<FileItem>& files() const { return files_; }
    void setSortOrder(SortOrder order);
    const SortOrder& sortOrder() const { return order_; }
    void setShowsRank(bool shows);
    bool showsRank() const { return showsRank_; }
    const std::unordered_map<std::int64_t, int>& rankMap() const { return ranks_; }

    const FileItem& fileAt(int row) const { return rowAt(row).file; }
    // -1 when no row shows the file.
    int rowOf(std::int64_t id) const { return rowOfKey(id); }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void refresh();

    std::vector<FileItem> files_;
    SortOrder order_{{size, false}};
    bool showsRank_ = false;
    std::unordered_map<std::int64_t, int> ranks_;
    // Read once per list rather than once per drawn cell.
    std::string home_;
};
