#pragma once

#include "ui/components/KeyedRowPlan.h"
#include "ui/components/ScreenParts.h"

#include <QBoxLayout>
#include <QWidget>

#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

// Rows of widgets in a box layout, matched to data by key as KeyedTableModel matches a
// table's rows: a row whose key stays keeps its widgets, and with them the focus, an open
// menu or a pressed button; rows whose keys go are discarded once the event that led here
// is over; new keys get rows made for them; and all stand in the new order from the
// layout's place `first` on. A row is a widget pointer or a small record of them, laid
// out through `widgetsOf`, its widgets in the order they stand. Main thread only.
template <class Row, class Key, class KeyHash = std::hash<Key>>
class KeyedWidgetList {
public:
    using WidgetsOf = std::function<std::vector<QWidget*>(const Row&)>;

    KeyedWidgetList(QBoxLayout* layout, int first, WidgetsOf widgetsOf)
        : layout_(layout), first_(first), widgetsOf_(std::move(widgetsOf))
    {
    }

    // For rows that are one widget each.
    explicit KeyedWidgetList(QBoxLayout* layout, int first = 0)
        requires std::is_convertible_v<Row, QWidget*>
        : KeyedWidgetList(layout, first, [](const Row& row) { return std::vector<QWidget*>{row}; })
    {
    }

    // Makes the rows those of `keys` (each key once), in their order; `make(key)` builds
    // the row of a new key. The rows are then filled through rows(), in the same order.
    template <class Make>
    void replace(const std::vector<Key>& keys, Make make)
    {
        const KeyedRowPlan plan = planKeyedRows<Key, KeyHash>(keys_, keys);
        for (const auto& [firstGone, lastGone] : plan.removals) {
            for (int row = firstGone; row <= lastGone; ++row)
                for (QWidget* widget : widgetsOf_(rows_[static_cast<std::size_t>(row)])) {
                    layout_->removeWidget(widget);
                    discardWidget(widget);
                }
            rows_.erase(rows_.begin() + firstGone, rows_.begin() + lastGone + 1);
        }
        if (!plan.reorder.empty()) {
            std::vector<Row> reordered(rows_.size());
            for (std::size_t row = 0; row < rows_.size(); ++row)
                reordered[static_cast<std::size_t>(plan.reorder[row])] = std::move(rows_[row]);
            rows_ = std::move(reordered);
        }
        for (const auto& [firstNew, lastNew] : plan.insertions)
            for (int row = firstNew; row <= lastNew; ++row)
                rows_.insert(rows_.begin() + row, make(keys[static_cast<std::size_t>(row)]));
        keys_ = keys;

        int place = first_;
        for (const Row& row : rows_)
            for (QWidget* widget : widgetsOf_(row)) {
                if (layout_->indexOf(widget) != place) {
                    layout_->removeWidget(widget);
                    layout_->insertWidget(place, widget);
                }
                ++place;
            }
    }

    std::vector<Row>& rows() { return rows_; }
    const std::vector<Row>& rows() const { return rows_; }
    const std::vector<Key>& keys() const { return keys_; }

private:
    QBoxLayout* layout_;
    int first_;
    WidgetsOf widgetsOf_;
    std::vector<Key> keys_;
    std::vector<Row> rows_;
};
