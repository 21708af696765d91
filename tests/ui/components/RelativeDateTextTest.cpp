#include "ui/components/RelativeDateText.h"

#include <gtest/gtest.h>

namespace {

TEST(RelativeDateText, NamedUnitsForOneAndCountsBeyond)
{
    const double now = 1'800'000'000;
    const std::pair<double, const char*> cases[] = {
        {0, "now"},
        {-0.4, "now"},
        {-1, "1 second ago"},
        {-59, "59 seconds ago"},
        {-60, "1 minute ago"},
        {-7300, "2 hours ago"},
        {-86400, "yesterday"},
        {-30 * 3600, "yesterday"},
        {-2 * 86400, "2 days ago"},
        {-7 * 86400, "last week"},
        {-20 * 86400, "2 weeks ago"},
        {-31 * 86400, "last month"},
        {-400 * 86400, "last year"},
        {-800 * 86400, "2 years ago"},
        {90, "in 1 minute"},
        {86400, "tomorrow"},
        {3 * 86400, "in 3 days"},
    };
    for (const auto& [offset, expected] : cases)
        EXPECT_EQ(relativeDateText(now + offset, now).toStdString(), expected) << offset;
}

} // namespace
