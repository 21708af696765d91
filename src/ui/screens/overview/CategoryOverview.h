#pragma once

#include "analysis/StorageSummary.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class AppModel;
class CategoryDonutChart;
class QLabel;
class QPushButton;

// How the indexed storage splits into categories: a donut beside the largest
// categories. Choosing one, in either, opens the largest files of that category.
// Made once with room for `limit` rows; a new summary gives them new values.
class CategoryOverview : public QWidget {
    Q_OBJECT

public:
    CategoryOverview(AppModel& model, const StorageSummary& summary, int limit, QWidget* parent = nullptr);

    void setSummary(const StorageSummary& summary);
    // The rows shown, in order.
    std::vector<QPushButton*> rows() const;

    static constexpr int chartSide = 170;

    // The first `limit` categories in the summary's order.
    static std::vector<CategoryUsage> shown(const std::vector<CategoryUsage>& categories, int limit);
    // Of all categories, not only the shown ones.
    static std::int64_t scannedTotal(const std::vector<CategoryUsage>& categories);
    static void select(AppModel& model, StorageCategory category);

private:
    struct Row {
        QPushButton* button = nullptr;
        QLabel* swatch = nullptr;
        QLabel* name = nullptr;
        QLabel* size = nullptr;
        StorageCategory category = StorageCategory::other;
    };

    AppModel& model_;
    int limit_;
    CategoryDonutChart* chart_;
    std::vector<Row> rows_;
};
