#include "ui/screens/system/AppRow.h"

#include "app/QtText.h"
#include "app/system/RunningApplications.h"

#include <algorithm>

bool AppRow::less(const AppRow& a, const AppRow& b, Column column)
{
    switch (column) {
    case Column::application: return a.info.name < b.info.name;
    case Column::version: return a.versionSortKey() < b.versionSortKey();
    case Column::developer: return a.developerSortKey() < b.developerSortKey();
    case Column::size: return a.sizeSortKey() < b.sizeSortKey();
    case Column::memory: return a.memorySortKey() < b.memorySortKey();
    case Column::cpu: return a.cpuSortKey() < b.cpuSortKey();
    case Column::status: return a.statusSortKey() < b.statusSortKey();
    case Column::architecture: return a.archSortKey() < b.archSortKey();
    }
    return false;
}

void AppRow::sort(std::vector<AppRow>& rows, Column column, bool ascending)
{
    std::stable_sort(rows.begin(), rows.end(), [&](const AppRow& a, const AppRow& b) {
        return ascending ? less(a, b, column) : less(b, a, column);
    });
}

std::vector<AppRow> AppRow::rows(const std::vector<ApplicationInfo>& apps,
                                 const std::unordered_map<std::string, FolderSizeResult>& sizes,
                                 const std::vector<ProcessSnapshot>& processes, const QString& filter,
                                 bool showSystemApps)
{
    std::vector<AppRow> result;
    for (const auto& app : apps) {
        if (!showSystemApps && app.isSystemApp)
            continue;
        if (!filter.isEmpty() && !qstr(app.name).contains(filter, Qt::CaseInsensitive)
            && !(app.bundleIdentifier && qstr(*app.bundleIdentifier).contains(filter, Qt::CaseInsensitive)))
            continue;
        AppRow row{app, std::nullopt, RunningApplications::usage(app, processes)};
        if (const auto found = sizes.find(app.path); found != sizes.end())
            row.size = found->second.allocatedSize;
        result.push_back(std::move(row));
    }
    return result;
}

AppRow::UsageText AppRow::usageKind(const ApplicationUsage& usage)
{
    if (usage.processCount <= 0)
        return UsageText::notRunning;
    if (usage.restrictedProcessCount == usage.processCount)
        return UsageText::restricted;
    return UsageText::value;
}
