#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

// The screens of the main window, in declaration order.
enum class SidebarItem {
    dashboard,
    storage,
    largestFiles,
    largestFolders,
    applications,
    runningApps,
    memory,
    cpu,
    developer,
    duplicates,
    cleanup,
    search,
    permissions,
    privacy,
    settings,
};

inline constexpr int sidebarItemCount = 15;

// The identity of a screen: the case name in lower camel case.
std::string_view rawValue(SidebarItem item);
// No item for any text that is not one of the raw values (titles included).
std::optional<SidebarItem> sidebarItemFromRawValue(std::string_view raw);
std::string_view title(SidebarItem item);
std::string_view symbolName(SidebarItem item);
const std::array<SidebarItem, sidebarItemCount>& allSidebarItems();

struct SidebarSection {
    std::string_view title;
    std::vector<SidebarItem> items;
};

// The sidebar's groups, in display order; every item stands in exactly one.
const std::vector<SidebarSection>& sidebarSections();
