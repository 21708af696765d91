#pragma once

#include "analysis/DuplicateRecords.h"
#include "ui/components/KeyedTableModel.h"

#include <QString>

#include <functional>
#include <set>
#include <string>
#include <vector>

struct DuplicateListRow {
    enum class Kind { summary, header, file };
    Kind kind = Kind::summary;
    // The summary's, the group's hash, or the group's hash and the copy's path: stable
    // across new searches and prunes, so a row that stays is the same row.
    std::string key;
    QString title;
    QString detail;
    std::size_t group = 0;
    FileItem file;
    bool ticked = false;
    bool tickEnabled = false;
    QString tickRefusal;   // why the tick is off limits, shown as the row's tooltip
    friend bool operator==(const DuplicateListRow&, const DuplicateListRow&) = default;
};

// The rows of the duplicate results as one flat list: a summary, then per group a
// header and one row per copy with its tick. Ticks and their enabling come from
// the screen's selection; a change of either redraws only the rows it touches.
class DuplicateListModel : public KeyedTableModel<DuplicateListRow, std::string> {
    Q_OBJECT

public:
    using Kind = DuplicateListRow::Kind;
    enum Role {
        kindRole = Qt::UserRole + 1,
        detailRole,   // header: the totals; file: the folder with the home as "~"; summary: the savings
        dateRole,     // file: the abbreviated modification date, empty without one
        tickedRole,
        tickEnabledRole,
        categoryRole,
        pathRole,     // file: its full path
    };

    // Why a copy's tick may not be switched on; empty when it may.
    using TickRefusal = std::function<QString(const FileItem&, const DuplicateGroup&, const std::set<std::string>&)>;

    DuplicateListModel(std::string home, TickRefusal tickRefusal, QObject* parent = nullptr);

    void setGroups(const std::vector<DuplicateGroup>& groups, const std::set<std::string>& selected);
    void setSelection(const std::set<std::string>& selected);

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    Kind kind(int row) const;
    // The copy of a file row; null for other rows.
    const FileItem* file(int row) const;
    // The row of a full path, or -1.
    int rowOf(const std::string& path) const;

private:
    void refresh();

    std::string home_;
    TickRefusal tickRefusal_;
    std::vector<DuplicateGroup> groups_;
    std::set<std::string> selected_;
};
