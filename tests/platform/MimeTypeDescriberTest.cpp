#include "platform/qt/MimeTypeDescriber.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(MimeTypeDescriber, NamesKnownTypesAndNothingForUnknownOnes)
{
    const MimeTypeDescriber types;
    const auto text = types.describeExtension("txt");
    ASSERT_TRUE(text);
    EXPECT_FALSE(text->empty());
    EXPECT_FALSE(types.describeExtension("kestrelmoor-unknown"));
    EXPECT_FALSE(types.describeExtension(""));

    TempDir dir;
    // Contents decide where the name says nothing.
    const auto png = types.describeFile(dir.write("picture", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\0')));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->identifier, "image/png");
    const auto folder = types.describeFile(dir.makeFolder("folder"));
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->identifier, "inode/directory");
}
