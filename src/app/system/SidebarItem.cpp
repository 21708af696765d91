#include "app/system/SidebarItem.h"

namespace {

struct Row {
    SidebarItem item;
    std::string_view raw;
    std::string_view title;
    std::string_view symbol;
};

constexpr std::array<Row, sidebarItemCount> rows{{
    {SidebarItem::dashboard, "dashboard", "Dashboard", "gauge.with.dots.needle.33percent"},
    {SidebarItem::storage, "storage", "Storage", "internaldrive"},
    {SidebarItem::largestFiles, "largestFiles", "Largest Files", "doc.badge.ellipsis"},
    {SidebarItem::largestFolders, "largestFolders", "Largest Folders", "folder"},
    {SidebarItem::applications, "applications", "Applications", "square.grid.2x2"},
    {SidebarItem::runningApps, "runningApps", "Running Apps", "list.bullet.rectangle.portrait"},
    {SidebarItem::memory, "memory", "Memory", "memorychip"},
    {SidebarItem::cpu, "cpu", "CPU", "cpu"},
    {SidebarItem::developer, "developer", "Developer Storage", "chevron.left.forwardslash.chevron.right"},
    {SidebarItem::duplicates, "duplicates", "Duplicates", "square.on.square"},
    {SidebarItem::cleanup, "cleanup", "Cleanup", "sparkles"},
    {SidebarItem::search, "search", "Search", "magnifyingglass"},
    {SidebarItem::permissions, "permissions", "Storage Access", "lock.shield"},
    {SidebarItem::privacy, "privacy", "Privacy", "hand.raised"},
    {SidebarItem::settings, "settings", "Settings", "gearshape"},
}};

const Row& row(SidebarItem item)
{
    return rows[static_cast<std::size_t>(item)];
}

} // namespace

std::string_view rawValue(SidebarItem item)
{
    return row(item).raw;
}

std::optional<SidebarItem> sidebarItemFromRawValue(std::string_view raw)
{
    for (const Row& r : rows)
        if (r.raw == raw)
            return r.item;
    return std::nullopt;
}

std::string_view title(SidebarItem item)
{
    return row(item).title;
}

std::string_view symbolName(SidebarItem item)
{
    return row(item).symbol;
}

const std::array<SidebarItem, sidebarItemCount>& allSidebarItems()
{
    static const std::array<SidebarItem, sidebarItemCount> all = [] {
        std::array<SidebarItem, sidebarItemCount> items{};
        for (std::size_t i = 0; i < rows.size(); ++i)
            items[i] = rows[i].item;
        return items;
    }();
    return all;
}

const std::vector<SidebarSection>& sidebarSections()
{
    using enum SidebarItem;
    static const std::vector<SidebarSection> sections{
        {"Overview", {dashboard, storage}},
        {"Disk", {largestFiles, largestFolders, developer, duplicates, cleanup, search}},
        {"System", {applications, runningApps, memory, cpu}},
        {"Preferences", {permissions, privacy, settings}},
    };
    return sections;
}
