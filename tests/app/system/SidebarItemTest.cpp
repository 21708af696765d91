#include "app/system/SidebarItem.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(SidebarItem, RawValuesAreTheCaseNamesAndNothingElse)
{
    for (SidebarItem item : allSidebarItems())
        EXPECT_EQ(sidebarItemFromRawValue(rawValue(item)), item) << rawValue(item);
    const char* notRaw[] = {"Dashboard", "Largest Files", "largestfiles", "", "settings "};
    for (const char* text : notRaw)
        EXPECT_FALSE(sidebarItemFromRawValue(text).has_value()) << text;
    EXPECT_EQ(rawValue(SidebarItem::runningApps), "runningApps");
    EXPECT_EQ(title(SidebarItem::permissions), "Storage Access");
    EXPECT_EQ(symbolName(SidebarItem::developer), "chevron.left.forwardslash.chevron.right");
}

TEST(SidebarItem, SectionsHoldEveryScreenOnceInDisplayOrder)
{
    std::vector<std::string_view> titles;
    std::vector<SidebarItem> shown;
    for (const SidebarSection& section : sidebarSections()) {
        titles.push_back(section.title);
        shown.insert(shown.end(), section.items.begin(), section.items.end());
    }
    EXPECT_EQ(titles, (std::vector<std::string_view>{"Overview", "Disk", "System", "Preferences"}));
    using enum SidebarItem;
    EXPECT_EQ(shown, (std::vector<SidebarItem>{dashboard, storage, largestFiles, largestFolders, developer, duplicates,
                                               cleanup, search, applications, runningApps, memory, cpu, permissions,
                                               privacy, settings}));
    EXPECT_EQ(std::set<SidebarItem>(shown.begin(), shown.end()).size(), std::size_t(sidebarItemCount));
}

} // namespace
