#pragma once

#include "ui/components/KeyedRowPlan.h"

#include <QAbstractTableModel>

#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

// A flat table whose rows are replaced by matching keys rather than by a reset: a
// row whose key stays is the same row (its persistent indexes, and so the view's
// selection and current row, follow it), rows that go are removed, new ones are
// inserted, a new order is a layout change, and a kept row whose contents changed
// is redrawn. Subclasses give the key, the columns and the cells; sorting is
// handing the same rows over in the new order.
template <class Row, class Key, class KeyHash = std::hash<Key>>
class KeyedTableModel : public QAbstractTableModel {
public:
    using KeyOf = std::function<Key(const Row&)>;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }

    const std::vector<Row>& rows() const { return rows_; }
    const Row& rowAt(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
    // -1 when no row has the key.
    int rowOfKey(const Key& key) const
    {
        const auto found = rowOfKey_.find(key);
        return found == rowOfKey_.end() ? -1 : found->second;
    }

protected:
    explicit KeyedTableModel(KeyOf keyOf, QObject* parent = nullptr)
        : QAbstractTableModel(parent), keyOf_(std::move(keyOf))
    {
    }

    // Makes `next` the rows, in its order. A key met again further down `next` is
    // dropped there: a table shows each item once.
    void replaceRows(std::vector<Row> next)
    {
        std::vector<Key> nextKeys;
        nextKeys.reserve(next.size());
        {
            std::unordered_set<Key, KeyHash> seen;
            std::size_t kept = 0;
            for (std::size_t i = 0; i < next.size(); ++i) {
                Key key = keyOf_(next[i]);
                if (!seen.insert(key).second)
                    continue;
                if (kept != i)
                    next[kept] = std::move(next[i]);
                nextKeys.push_back(std::move(key));
                ++kept;
            }
            next.erase(next.begin() + static_cast<std::ptrdiff_t>(kept), next.end());
        }
        std::vector<Key> oldKeys;
        oldKeys.reserve(rows_.size());
        for (const Row& row : rows_)
            oldKeys.push_back(keyOf_(row));
        const KeyedRowPlan plan = planKeyedRows<Key, KeyHash>(oldKeys, nextKeys);

        for (const auto& [first, last] : plan.removals) {
            beginRemoveRows(QModelIndex(), first, last);
            rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
            endRemoveRows();
        }

        if (!plan.reorder.empty()) {
            emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
            std::vector<std::size_t> fromRow(rows_.size());
            for (std::size_t row = 0; row < rows_.size(); ++row)
                fromRow[static_cast<std::size_t>(plan.reorder[row])] = row;
            std::vector<Row> reordered;
            reordered.reserve(rows_.size());
            for (std::size_t row : fromRow)
                reordered.push_back(std::move(rows_[row]));
            rows_ = std::move(reordered);
            const QModelIndexList before = persistentIndexList();
            QModelIndexList after;
            after.reserve(before.size());
            for (const QModelIndex& index : before)
                after.push_back(this->index(plan.reorder[static_cast<std::size_t>(index.row())], index.column()));
            changePersistentIndexList(before, after);
            emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        }

        std::vector<bool> inserted(next.size(), false);
        for (const auto& [first, last] : plan.insertions) {
            beginInsertRows(QModelIndex(), first, last);
            for (int i = first; i <= last; ++i) {
                rows_.insert(rows_.begin() + i, std::move(next[static_cast<std::size_t>(i)]));
                inserted[static_cast<std::size_t>(i)] = true;
            }
            endInsertRows();
        }

        int changedFrom = -1;
        const auto flush = [&](int end) {
            if (changedFrom >= 0)
                emit dataChanged(index(changedFrom, 0), index(end - 1, columnCount() - 1));
            changedFrom = -1;
        };
        for (std::size_t i = 0; i < next.size(); ++i) {
            if (inserted[i] || rows_[i] == next[i]) {
                flush(static_cast<int>(i));
                continue;
            }
            rows_[i] = std::move(next[i]);
            if (changedFrom < 0)
                changedFrom = static_cast<int>(i);
        }
        flush(static_cast<int>(next.size()));

        rowOfKey_.clear();
        rowOfKey_.reserve(nextKeys.size());
        for (std::size_t i = 0; i < nextKeys.size(); ++i)
            rowOfKey_.emplace(std::move(nextKeys[i]), static_cast<int>(i));
    }

    // For cells that depend on something besides the row (a setting, a rank): redraws
    // every row without touching the rows.
    void redrawAll()
    {
        if (!rows_.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }

    Key keyOf(const Row& row) const { return keyOf_(row); }

private:
    KeyOf keyOf_;
    std::vector<Row> rows_;
    std::unordered_map<Key, int, KeyHash> rowOfKey_;
};
