#include "scanning/ScanExclusions.h"

#include <gtest/gtest.h>

TEST(ScanExclusions, IgnoreLetterCaseAndNeedAWholeComponent)
{
    const ScanExclusions exclusions({"/Users/Ann/Library/", "/Volumes/Caf\xC3\xA9", "/x/./y/../z"});
    EXPECT_EQ(exclusions.entries(), (std::vector<std::string>{"/users/ann/library", "/volumes/caf\xC3\xA9", "/x/z"}));
    struct Case { const char* path; bool excluded; };
    const Case cases[] = {
        {"/Users/ann/Library", true},
        {"/Users/ann/Library/Caches", true},
        {"/Users/ann/LibraryX", false},
        {"/Users/ann", false},
        {"/VOLUMES/CAF\xC3\x89/photos", true},
        {"/Volumes/Cafe\xCC\x81", true},   // the same name with a combining accent
        {"/x/z/w", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(exclusions.excludes(c.path), c.excluded) << c.path;
    EXPECT_TRUE(ScanExclusions({"/"}).excludes("/anything"));
    EXPECT_FALSE(ScanExclusions().excludes("/anything"));
}
