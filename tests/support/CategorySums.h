#pragma once

#include "index/SQLiteConnection.h"

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

// (category, bytes, files) in category order.
using CategorySumRows = std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>>;

// category_totals as stored, and as the file rows add up, read through a connection of
// their own: a finish leaves the two equal.
struct CategorySums {
    CategorySumRows stored;
    CategorySumRows ofFileRows;
};

inline CategorySums categorySums(const std::string& cachePath)
{
    SQLiteConnection observer(cachePath);
    const auto rows = [&](const char* sql) {
        CategorySumRows result;
        observer.query(sql, {}, [&](SQLiteConnection::Statement& r) {
            result.emplace_back(r.integer(0), r.integer(1), r.integer(2));
        });
        return result;
    };
    return {rows("SELECT category, bytes, files FROM category_totals ORDER BY category"),
            rows("SELECT category, SUM(counted_alloc), COUNT(*) FROM files GROUP BY category ORDER BY category")};
}
