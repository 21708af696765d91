#pragma once

#include "analysis/DeveloperStorageRecords.h"

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class StorageDatabase;

// Measures the space developer tools use, as six fixed groups: known locations from built-in
// tables, plus the node_modules and .git folders the index knows. Reads only.
class DeveloperStorageAnalyzer {
public:
    // `database` may be null: every location is then sized on disk and the index rows are skipped.
    // The system-wide locations (/usr/lib/jvm, /opt/...) are looked for under `systemRoot`.
    DeveloperStorageAnalyzer(std::string home, StorageDatabase* database, std::string systemRoot = {})
        : home_(std::move(home)), database_(database), systemRoot_(std::move(systemRoot)) {}

    // Never fails; always the six groups in their fixed order. When `stop` is requested the
    // remaining locations are skipped and the groups hold what was measured.
    std::vector<DeveloperStorageGroup> analyze(std::stop_token stop = {}) const;

private:
    void addNodeModules(DeveloperStorageGroup& group) const;
    void addGitRepositories(DeveloperStorageGroup& group) const;

    std::string home_;
    StorageDatabase* database_;
    std::string systemRoot_;
};
