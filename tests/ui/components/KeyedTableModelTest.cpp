#include "ui/components/KeyedTableModel.h"

#include "ui/support/UiTestSupport.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Applies a plan to the old keys the way the model does, to check it reaches `next`.
std::vector<int> applied(std::vector<int> rows, const KeyedRowPlan& plan, const std::vector<int>& next)
{
    for (const auto& [first, last] : plan.removals)
        rows.erase(rows.begin() + first, rows.begin() + last + 1);
    if (!plan.reorder.empty()) {
        std::vector<int> reordered(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            reordered[static_cast<std::size_t>(plan.reorder[i])] = rows[i];
        rows = reordered;
    }
    for (const auto& [first, last] : plan.insertions)
        for (int i = first; i <= last; ++i)
            rows.insert(rows.begin() + i, next[static_cast<std::size_t>(i)]);
    return rows;
}

struct Item {
    int id = 0;
    std::string text;
    friend bool operator==(const Item&, const Item&) = default;
};

class ItemModel : public KeyedTableModel<Item, int> {
public:
    ItemModel() : KeyedTableModel([](const Item& item) { return item.id; }) {}
    void set(std::vector<Item> items) { replaceRows(std::move(items)); }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || role != Qt::DisplayRole)
            return {};
        const Item& item = rowAt(index.row());
        return index.column() == 0 ? QVariant(item.id) : QVariant(QString::fromStdString(item.text));
    }
};

std::vector<Item> items(std::initializer_list<int> ids, const std::string& text = "a")
{
    std::vector<Item> result;
    for (int id : ids)
        result.push_back({id, text});
    return result;
}

std::vector<int> idsOf(const ItemModel& model)
{
    std::vector<int> ids;
    for (const Item& item : model.rows())
        ids.push_back(item.id);
    return ids;
}

} // namespace

TEST(KeyedRowPlan, TurnsTheOldKeysIntoTheNewOnes)
{
    struct Case {
        std::vector<int> old, next;
        KeyedRowPlan plan;
    };
    const std::vector<Case> cases = {
        {{}, {}, {}},
        {{1, 2, 3}, {1, 2, 3}, {}},
        {{}, {1, 2}, {{}, {}, {{0, 1}}}},
        {{1, 2}, {}, {{{0, 1}}, {}, {}}},
        // Removal runs come highest first so earlier rows keep their places.
        {{1, 2, 3, 4, 5}, {1, 4}, {{{4, 4}, {1, 2}}, {}, {}}},
        {{1, 2, 3}, {0, 1, 9, 2, 3, 7}, {{}, {}, {{0, 0}, {2, 2}, {5, 5}}}},
        // A sort turned round: one layout change, nothing removed or inserted.
        {{1, 2, 3}, {3, 2, 1}, {{}, {2, 1, 0}, {}}},
        {{1, 2, 3, 4}, {4, 5, 1}, {{{1, 2}}, {1, 0}, {{1, 1}}}},
    };
    for (const Case& c : cases) {
        const KeyedRowPlan plan = planKeyedRows(c.old, c.next);
        EXPECT_EQ(plan, c.plan);
        EXPECT_EQ(applied(c.old, plan, c.next), c.next);
    }

    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<int> old, next;
        for (int key = 0; key < 30; ++key) {
            if (random() % 2) old.push_back(key);
            if (random() % 2) next.push_back(key);
        }
        std::shuffle(old.begin(), old.end(), random);
        std::shuffle(next.begin(), next.end(), random);
        ASSERT_EQ(applied(old, planKeyedRows(old, next), next), next);
    }
}

TEST(KeyedTableModel, KeptRowsKeepTheirSelectionAndCurrentRowThroughEveryChange)
{
    ensureApplication();
    ItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QItemSelectionModel selection(&model);

    model.set(items({1, 2, 3, 4, 5}));
    selection.setCurrentIndex(model.index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection.select(model.index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QPersistentModelIndex textOfFour = model.index(3, 1);

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    // Re-sorted, one row gone, one new: the same items stay selected.
    model.set(items({6, 5, 4, 2, 1}));
    EXPECT_EQ(idsOf(model), (std::vector<int>{6, 5, 4, 2, 1}));
    EXPECT_EQ(selection.currentIndex().row(), model.rowOfKey(2));
    EXPECT_TRUE(selection.isRowSelected(model.rowOfKey(2), {}));
    EXPECT_TRUE(selection.isRowSelected(model.rowOfKey(4), {}));
    EXPECT_EQ(selection.selectedRows().size(), 2);
    EXPECT_EQ(textOfFour.row(), model.rowOfKey(4));
    EXPECT_EQ(textOfFour.column(), 1);

    // The current row's item leaves: nothing else becomes selected.
    model.set(items({6, 5, 4, 1}));
    EXPECT_EQ(selection.selectedRows().size(), 1);
    EXPECT_TRUE(selection.isRowSelected(model.rowOfKey(4), {}));
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(model.rowOfKey(2), -1);
}

TEST(KeyedTableModel, RedrawsOnlyRowsWhoseContentsChanged)
{
    ensureApplication();
    ItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.set(items({1, 2, 3, 4}));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
    model.set(items({1, 2, 3, 4}));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(layouts.count(), 0);

    std::vector<Item> next = items({1, 2, 3, 4});
    next[1].text = "b";
    next[2].text = "b";
    model.set(next);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>(), model.index(1, 0));
    EXPECT_EQ(changed[0][1].value<QModelIndex>(), model.index(2, 1));
    EXPECT_EQ(model.rowAt(2).text, "b");
}

TEST(KeyedTableModel, ShowsARepeatedKeyOnceAndSurvivesRandomChanges)
{
    ensureApplication();
    ItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.set({{1, "a"}, {2, "b"}, {1, "c"}});
    EXPECT_EQ(idsOf(model), (std::vector<int>{1, 2}));
    EXPECT_EQ(model.rowAt(0).text, "a");

    // Persistent indexes of kept rows always point at the same item.
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        std::vector<QPersistentModelIndex> held;
        std::vector<int> heldIDs;
        for (int row = 0; row < model.rowCount(); row += 3) {
            held.emplace_back(model.index(row, static_cast<int>(random() % 2)));
            heldIDs.push_back(model.rowAt(row).id);
        }
        std::vector<Item> next;
        for (int id = 0; id < 25; ++id)
            if (random() % 3)
                next.push_back({id, std::string(1, static_cast<char>('a' + random() % 3))});
        std::shuffle(next.begin(), next.end(), random);
        model.set(next);
        ASSERT_EQ(model.rowCount(), static_cast<int>(next.size()));
        for (std::size_t i = 0; i < held.size(); ++i) {
            const int row = model.rowOfKey(heldIDs[i]);
            if (row < 0)
                ASSERT_FALSE(held[i].isValid());
            else
                ASSERT_EQ(held[i].row(), row);
        }
        for (std::size_t i = 0; i < next.size(); ++i)
            ASSERT_EQ(model.rowAt(static_cast<int>(i)), next[i]);
    }
}
