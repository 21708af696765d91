#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "analysis/PercentFormatter.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

TEST(ByteFormatter, ChoosesTheUnitOnTheExactIntegerAndRoundsLikePrintf)
{
    const struct { std::int64_t bytes; const char* text; } cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {-1, "-1 bytes"},
        {999, "999 bytes"},
        {1'000, "1.00 KB"},
        {1'500, "1.50 KB"},
        {9'999, "10.00 KB"},
        {10'000, "10.0 KB"},
        {99'999, "100.0 KB"},
        {100'000, "100 KB"},
        {999'999, "1000 KB"},
        {1'000'000, "1.00 MB"},
        {123'456'789, "123.5 MB"},
        {999'999'999, "1000.0 MB"},
        {1'000'000'000, "1.00 GB"},
        {1'000'000'000'000, "1.00 TB"},
        {-1'500, "-1.50 KB"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372.0 TB"},
        {std::numeric_limits<std::int64_t>::max(), "9223372.0 TB"},
        {1'005, "1.00 KB"},   // 1.005 is stored just below, so it rounds down as printf does
        {2'125'000, "2.12 MB"}, // an exact tie goes to the even digit
    };
    for (const auto& c : cases)
        EXPECT_EQ(ByteFormatter::string(c.bytes), c.text) << c.bytes;

    EXPECT_EQ(ByteFormatter::string(500, ByteUnit::KB), "0.50 KB");
    EXPECT_EQ(ByteFormatter::string(5, ByteUnit::bytes), "5 bytes");
    EXPECT_EQ(ByteFormatter::string(2'000'000'000'000, ByteUnit::GB), "2000.0 GB");
}

TEST(ByteFormatter, ParsesSizesAndRejectsEverythingElse)
{
    const struct { const char* text; std::optional<std::int64_t> bytes; } cases[] = {
        {"500MB", 500'000'000},
        {"500 mb", 500'000'000},
        {"1.5 GB", 1'500'000'000},
        {"1,5gb", 1'500'000'000},
        {"10", 10},
        {"1 000 KB", 1'000'000},
        {"1,000 KB", 1'000},
        {"0.5 b", 0},
        {"  2 TB\t", 2'000'000'000'000},
        {"\u00a03 k\u3000", 3'000},
        {"4 kilobytes", 4'000},
        {"1 Gigabyte", 1'000'000'000},
        {"7 megabytes", 7'000'000},
        {"2 bytes", 2},
        {"9223372036 GB", 9'223'372'036'000'000'000},
        {"2 KiB", std::nullopt},
        {"-5 MB", std::nullopt},
        {"1e3", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"MB", std::nullopt},
        {"1.2.3 MB", std::nullopt},
        {"5 m b", 5'000'000},
        {"5 mb2", std::nullopt},
        {"10000000 TB", std::nullopt},
        {"9223372.036854775808 TB", std::nullopt},
        {"1\n", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ByteFormatter::parse(c.text), c.bytes) << c.text;
}

TEST(ByteFormatter, TextReadsBackToTheSameMagnitude)
{
    for (const std::int64_t bytes : {0LL, 1LL, 999LL, 1'000LL, 12'345LL, 987'654'321LL, 5'500'000'000'000LL}) {
        const auto back = ByteFormatter::parse(ByteFormatter::string(bytes));
        ASSERT_TRUE(back.has_value()) << bytes;
        // Three significant digits survive the round trip.
        EXPECT_LE(std::llabs(*back - bytes), std::max<std::int64_t>(bytes / 100, 0)) << bytes;
    }
}

TEST(ByteFormatter, IgnoresTheProcessLocale)
{
    // A GUI process adopts the user's locale, where "%f" would print a decimal comma.
    const char* chosen = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (!chosen)
        chosen = std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    EXPECT_EQ(ByteFormatter::string(1'500), "1.50 KB");
    EXPECT_EQ(ByteFormatter::parse("1.5 KB"), 1'500);
    EXPECT_EQ(PercentFormatter::string(0.425, 1), "42.5%");
    std::setlocale(LC_NUMERIC, "C");
}

TEST(PercentFormatter, FormatsFractionsAsPercent)
{
    const struct { double value; int decimals; const char* text; } cases[] = {
        {1.0, 0, "100%"},
        {0.5, 0, "50%"},
        {-0.1, 0, "-10%"},
        {0.425, 1, "42.5%"},
        {0.0, 0, "0%"},
        {std::nan(""), 0, "\u2014"},
        {std::numeric_limits<double>::infinity(), 0, "\u2014"},
        {-std::numeric_limits<double>::infinity(), 2, "\u2014"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentFormatter::string(c.value, c.decimals), c.text) << c.value;
}

TEST(HomeAbbreviation, ReplacesOnlyTheWholeHomeFolder)
{
    const struct { const char* path; const char* text; } cases[] = {
        {"/home/alice", "~"},
        {"/home/alice/Movies", "~/Movies"},
        {"/home/alice2/x", "/home/alice2/x"},
        {"/Applications", "/Applications"},
        {"/HOME/alice/x", "/HOME/alice/x"},
        {"/home", "/home"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(abbreviatingHome(c.path, "/home/alice"), c.text) << c.path;
}
