#pragma once

#include "index/ScanRecords.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class AppModel;

// The storage categories of the index in a grid: name, size, file count, share of
// the categorised total and how each is recognised. Clicking a category opens the
// largest files of that category.
class CategoryTable : public QWidget {
    Q_OBJECT

public:
    CategoryTable(AppModel& model, std::vector<CategoryUsage> categories, QWidget* parent = nullptr);

    const std::vector<CategoryUsage>& categories() const { return categories_; }

    // `bytes` over the sum of all rows, with the sum taken as at least 1.
    static double share(std::int64_t bytes, std::int64_t total);
    static std::int64_t total(const std::vector<CategoryUsage>& categories);

    static constexpr int shareWidth = 100;

private:
    void open(StorageCategory category);

    AppModel& model_;
    std::vector<CategoryUsage> categories_;
};
