#include "ui/components/ChartAxis.h"
#include "ui/components/ChartRecords.h"

#include "ui/support/UiTestSupport.h"
#include "ui/components/TextStyle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>

TEST(ChartPoint, IdIsTheSeriesAndTheShortestTextOfTheDate)
{
    struct Case {
        double date;
        const char* series;
        const char* id;
    };
    const Case cases[] = {
        {1700000000.0, "User", "User-1700000000.0"},
        {1700000000.5, "User", "User-1700000000.5"},
        {1700000000.25, "System", "System-1700000000.25"},
        {0.0, "App", "App-0.0"},
        {-0.0, "App", "App-0.0"},
        {0.1, "Wired", "Wired-0.1"},
        {-12.0, "Wired", "Wired--12.0"},
        {1e16, "Wired", "Wired-1e+16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ((ChartPoint{c.date, 1, c.series}.id()), c.id);
    }
    // Two series at one instant are two marks; one series at one instant is one.
    EXPECT_NE((ChartPoint{1700000000, 3, "User"}.id()), (ChartPoint{1700000000, 3, "System"}.id()));
    EXPECT_EQ((ChartPoint{1700000000, 3, "User"}.id()), (ChartPoint{1700000000, 9, "User"}.id()));
}

TEST(ChartPoint, NegativeZeroEqualsAndHashesLikeZero)
{
    const ChartPoint zero{0.0, 0.0, "App"};
    const ChartPoint negative{-0.0, -0.0, "App"};
    EXPECT_EQ(zero, negative);
    EXPECT_EQ(std::hash<ChartPoint>{}(zero), std::hash<ChartPoint>{}(negative));
    std::unordered_set<ChartPoint> set{zero, negative, ChartPoint{0, 1, "App"}};
    EXPECT_EQ(set.size(), 2u);
}

TEST(SizeBarItem, EqualityAndHashCoverEveryField)
{
    const SizeBarItem item{"7", "Movie.mov", 4096, NamedColor::blue};
    std::unordered_set<SizeBarItem> set{item,
                                        SizeBarItem{"8", "Movie.mov", 4096, NamedColor::blue},
                                        SizeBarItem{"7", "Other.mov", 4096, NamedColor::blue},
                                        SizeBarItem{"7", "Movie.mov", 4097, NamedColor::blue},
                                        SizeBarItem{"7", "Movie.mov", 4096, NamedColor::red},
                                        item};
    EXPECT_EQ(set.size(), 5u);
}

TEST(ChartAxis, ByteLabelsOnlyForValuesThatFitInACount)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        std::optional<std::int64_t> count;
        const char* label;   // nullptr: no label
    };
    const Case cases[] = {
        {0, 0, "0 bytes"},
        {1.9, 1, "1 byte"},
        {-1.9, -1, "-1 bytes"},
        {1.5e9, 1'500'000'000, "1.50 GB"},
        {-2.5e12, -2'500'000'000'000, "-2.50 TB"},
        {nan, std::nullopt, nullptr},
        {inf, std::nullopt, nullptr},
        {-inf, std::nullopt, nullptr},
        {1e30, std::nullopt, nullptr},
        {-1e30, std::nullopt, nullptr},
        {9223372036854775808.0, std::nullopt, nullptr},   // 2^63, one past the largest count
        {-9223372036854775808.0, std::numeric_limits<std::int64_t>::min(), nullptr},
        {9223372036854774784.0, 9223372036854774784, nullptr},   // largest double below 2^63
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ChartAxis::byteCount(c.value), c.count);
        const auto label = ChartAxis::byteLabel(c.value);
        EXPECT_EQ(label.has_value(), c.count.has_value());
        if (c.label) {
            EXPECT_EQ(label.value_or(QString()), QString::fromUtf8(c.label));
        }
    }
}

TEST(ChartAxis, RoundMarksAcrossTheRange)
{
    struct Case {
        double lower, upper;
        int count;
        std::vector<double> marks;
    };
    const Case cases[] = {
        {0, 100, 4, {0, 25, 50, 75, 100}},
        {0, 1e12, 4, {0, 2.5e11, 5e11, 7.5e11, 1e12}},
        {0, 8e9, 4, {0, 2e9, 4e9, 6e9, 8e9}},
        {3, 17, 4, {5, 10, 15}},
        {0, 0, 4, {}},
        {5, 1, 4, {}},
        {0, std::numeric_limits<double>::infinity(), 4, {}},
        {0, std::numeric_limits<double>::quiet_NaN(), 4, {}},
        {0, 10, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.lower << "..." << c.upper);
        const auto marks = ChartAxis::niceTicks(c.lower, c.upper, c.count);
        ASSERT_EQ(marks.size(), c.marks.size());
        for (std::size_t i = 0; i < marks.size(); ++i)
            EXPECT_DOUBLE_EQ(marks[i], c.marks[i]);
    }
    // A huge range still gives a handful of marks, not billions.
    EXPECT_LE(ChartAxis::niceTicks(-1e300, 1e300, 4).size(), 10u);
}

TEST(ChartAxis, TimeMarksFallOnWholeUnits)
{
    const double start = 1'700'000'000;   // a whole minute
    struct Case {
        double span;
        double step;
    };
    const Case cases[] = {{150, 30}, {600, 120}, {7200, 1800}, {8 * 86400, 172800}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.span);
        const auto marks = ChartAxis::timeTicks(start + 7, start + 7 + c.span, 5);
        ASSERT_GE(marks.size(), 3u);
        EXPECT_DOUBLE_EQ(marks[1] - marks[0], c.step);
        EXPECT_EQ(std::fmod(marks[0], c.step), 0);
        EXPECT_GE(marks.front(), start + 7);
        EXPECT_LE(marks.back(), start + 7 + c.span);
    }
    EXPECT_TRUE(ChartAxis::timeTicks(start, start, 5).empty());
}

TEST(ChartAxis, NeighbouringMarksNeverReadTheSame)
{
    // 999.96 GB and 999.98 GB both read "1000.0 GB".
    const auto marks = ChartAxis::distinctMarks({999.4e9, 999.96e9, 999.98e9, 1e30, 1000.2e9}, ChartAxis::byteLabel);
    std::vector<QString> labels;
    for (const auto& mark : marks)
        labels.push_back(mark.label);
    EXPECT_EQ(labels, (std::vector<QString>{"999.4 GB", "1000.0 GB", "1.00 TB"}));
    for (std::size_t i = 1; i < labels.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_NE(labels[i], labels[j]);
    // The value without a label is left out, the first of a repeated text kept.
    ASSERT_FALSE(marks.empty());
    EXPECT_DOUBLE_EQ(marks.front().value, 999.4e9);
    for (const auto& mark : marks)
        EXPECT_NE(mark.value, 1e30);
}
