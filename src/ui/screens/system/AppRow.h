#pragma once

#include "index/ApplicationRecords.h"
#include "index/FileRecords.h"
#include "index/ProcessRecords.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// One line of the applications table: the application, its measured bundle and
// what its processes use right now.
struct AppRow {
    ApplicationInfo info;
    std::optional<std::int64_t> size;
    ApplicationUsage usage;

    // The application's own identity: rows of entries that share a folder stay apart.
    const std::string& id() const { return info.id(); }

    // Missing figures sort below every present one.
    std::int64_t sizeSortKey() const { return size.value_or(-1); }
    std::int64_t memorySortKey() const { return usage.processCount >= 1 ? usage.memoryBytes : -1; }
    double cpuSortKey() const { return usage.processCount >= 1 ? usage.cpuPercent : -1.0; }
    int statusSortKey() const { return usage.processCount > 0 ? 1 : 0; }
    std::string versionSortKey() const { return info.version.value_or(""); }
    std::string developerSortKey() const { return info.developer.value_or("~"); }
    std::string archSortKey() const { return info.architectureLabel(); }

    enum class Column { application, version, developer, size, memory, cpu, status, architecture };
    static constexpr int columnCount = 8;

    // Whether `a` sorts before `b` by the column's key, ascending.
    static bool less(const AppRow& a, const AppRow& b, Column column);
    // Stable: rows that tie keep their order.
    static void sort(std::vector<AppRow>& rows, Column column, bool ascending);

    // The listed applications, narrowed by the switch and the filter (as typed,
    // case-insensitive against the name or the bundle id), joined with sizes and usage.
    static std::vector<AppRow> rows(const std::vector<ApplicationInfo>& apps,
                                    const std::unordered_map<std::string, FolderSizeResult>& sizes,
                                    const std::vector<ProcessSnapshot>& processes, const QString& filter,
                                    bool showSystemApps);

    // The RAM or CPU cell: "—" when not running, "Restricted" when no process could be read.
    enum class UsageText { notRunning, restricted, value };
    static UsageText usageKind(const ApplicationUsage& usage);

    // Every field, so that a listing with a new version redraws the row.
    friend bool operator==(const AppRow&, const AppRow&) = default;
};
