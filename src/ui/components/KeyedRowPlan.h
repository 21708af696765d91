#pragma once

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

// How a list of rows becomes another when rows are matched by key: which old rows
// go, how the remaining ones are reordered, which new rows come in. Applied in this
// order (removals highest first, then the reorder, then insertions lowest first), a
// model's rows turn into the new list while every kept row stays the same row.
struct KeyedRowPlan {
    // Inclusive [first, last] runs of old rows, highest first.
    std::vector<std::pair<int, int>> removals;
    // For each row left after the removals, in that order, its position once
    // reordered; empty when the kept rows are already in the new order.
    std::vector<int> reorder;
    // Inclusive [first, last] runs of positions in the new list, lowest first.
    std::vector<std::pair<int, int>> insertions;

    friend bool operator==(const KeyedRowPlan&, const KeyedRowPlan&) = default;
};

// `next` must hold each key once.
template <class Key, class Hash = std::hash<Key>>
KeyedRowPlan planKeyedRows(const std::vector<Key>& old, const std::vector<Key>& next)
{
    KeyedRowPlan plan;
    std::unordered_map<Key, int, Hash> positionInNext;
    positionInNext.reserve(next.size());
    for (int i = 0; i < static_cast<int>(next.size()); ++i)
        positionInNext.emplace(next[static_cast<std::size_t>(i)], i);

    std::vector<int> keptPositions;  // positions in `next` of the kept old rows, in old order
    std::unordered_set<Key, Hash> kept;
    for (int row = static_cast<int>(old.size()) - 1; row >= 0; --row) {
        const auto found = positionInNext.find(old[static_cast<std::size_t>(row)]);
        if (found != positionInNext.end())
            continue;
        if (!plan.removals.empty() && plan.removals.back().first == row + 1)
            plan.removals.back().first = row;
        else
            plan.removals.emplace_back(row, row);
    }
    for (const Key& key : old) {
        const auto found = positionInNext.find(key);
        if (found == positionInNext.end())
            continue;
        keptPositions.push_back(found->second);
        kept.insert(key);
    }

    if (!std::is_sorted(keptPositions.begin(), keptPositions.end())) {
        std::vector<int> byPosition(keptPositions.size());
        for (std::size_t i = 0; i < byPosition.size(); ++i)
            byPosition[i] = static_cast<int>(i);
        std::sort(byPosition.begin(), byPosition.end(),
                  [&](int a, int b) { return keptPositions[static_cast<std::size_t>(a)] < keptPositions[static_cast<std::size_t>(b)]; });
        plan.reorder.resize(keptPositions.size());
        for (std::size_t place = 0; place < byPosition.size(); ++place)
            plan.reorder[static_cast<std::size_t>(byPosition[place])] = static_cast<int>(place);
    }

    for (int i = 0; i < static_cast<int>(next.size()); ++i) {
        if (kept.contains(next[static_cast<std::size_t>(i)]))
            continue;
        if (!plan.insertions.empty() && plan.insertions.back().second == i - 1)
            plan.insertions.back().second = i;
        else
            plan.insertions.emplace_back(i, i);
    }
    return plan;
}
