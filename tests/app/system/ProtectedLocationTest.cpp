#include "app/system/ProtectedLocation.h"

#include <gtest/gtest.h>

TEST(ProtectedLocation, RequirementTextsReadBackExactly)
{
    using Requirement = ProtectedLocation::Requirement;
    for (const auto& [requirement, text] : {std::pair{Requirement::filesAndFolders, "Files & Folders"},
                                            std::pair{Requirement::fullDiskAccess, "Full Disk Access"},
                                            std::pair{Requirement::filePermissions, "File permissions"}}) {
        EXPECT_EQ(rawValue(requirement), text);
        EXPECT_EQ(requirementFromRawValue(text), requirement) << text;
    }
    for (const char* text : {"full disk access", "Full Disk Access ", ""})
        EXPECT_FALSE(requirementFromRawValue(text)) << '"' << text << '"';
}
