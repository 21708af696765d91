#pragma once

#include "analysis/DuplicateRecords.h"

#include <QAbstractListModel>

#include <functional>

#include <set>
#include <string>
#include <vector>

// The rows of the duplicate results as one flat list: a summary, then per group a
// header and one row per copy with its tick. Ticks and their enabling come from
// the screen's selection.
class DuplicateListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum class Kind { summary, header, file };
    enum Role {
        kindRole = Qt::UserRole + 1,
        detailRole,   // header: the totals; file: the folder with the home as "~"; summary: the savings
        dateRole,     // file: the abbreviated modification date, empty without one
        tickedRole,
        tickEnabledRole,
        categoryRole,
        pathRole,     // file: its full path
    };

    // What decides whether a copy's tick may be switched on.
    using CanSelect = std::function<bool(const FileItem&, const DuplicateGroup&, const std::set<std::string>&)>;

    DuplicateListModel(std::string home, CanSelect canSelect, QObject* parent = nullptr);

    void setGroups(const std::vector<DuplicateGroup>& groups, const std::set<std::string>& selected);
    void setSelection(const std::set<std::string>& selected);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    Kind kind(int row) const;
    // The copy of a file row; null for other rows.
    const FileItem* file(int row) const;
    // The row of a full path, or -1.
    int rowOf(const std::string& path) const;

private:
    struct Row {
        Kind kind = Kind::summary;
        std::size_t group = 0;
        std::size_t file = 0;
        bool ticked = false;
        bool tickEnabled = false;
    };
    void judge();

    std::string home_;
    CanSelect canSelect_;
    std::vector<DuplicateGroup> groups_;
    std::set<std::string> selected_;
    std::vector<Row> rows_;
};
