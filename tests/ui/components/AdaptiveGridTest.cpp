#include "ui/components/AdaptiveGrid.h"

#include <gtest/gtest.h>

TEST(AdaptiveGridTest, ColumnsThatFitTheWidth)
{
    struct Row {
        int width, minimum, spacing, columns;
    };
    const Row rows[] = {
        {0, 150, 10, 1},   {149, 150, 10, 1}, {309, 150, 10, 1}, {310, 150, 10, 2},
        {790, 150, 10, 5}, {868, 150, 10, 5}, {950, 150, 10, 6}, {500, 0, 10, 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(AdaptiveGrid::columnCount(row.width, row.minimum, row.spacing), row.columns) << row.width;
}
