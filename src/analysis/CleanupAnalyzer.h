#pragma once

#include "analysis/CleanupRecommendation.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

class StorageDatabase;

// Builds the cleanup recommendations: a fixed table of places under the home folder, each sized
// from the index when it was scanned and on the file system otherwise, plus large downloads and
// old node_modules folders from the index. Measures and describes only; removes nothing.
class CleanupAnalyzer {
public:
    using ProgressCallback = std::function<void(const std::string& ruleTitle)>;

    // `database` may be null: every size is then measured on disk and the index findings are skipped.
    // The system's places (the package cache, the journal) are looked for under `systemRoot`.
    CleanupAnalyzer(std::string home, StorageDatabase* database, std::string systemRoot = {})
        : home_(std::move(home)), database_(database), systemRoot_(std::move(systemRoot))
    {
    }

    // Never fails. When `stop` is requested no further rule is evaluated, but the index findings
    // and the sort still run. Largest first; equal sizes keep the order they were found in.
    std::vector<CleanupRecommendation> analyze(const ProgressCallback& progress, std::stop_token stop = {}) const;

private:
    struct Rule {
        std::string title;
        std::string detail;
        std::vector<std::string> relativePaths;
        CleanupSafety safety;
        CleanupRecommendation::Action action;
        std::string symbol;
        std::int64_t minimumBytes;
        bool perChild;
    };

    static std::vector<Rule> rules();
    // A rule's place in `home`; one that starts with the data home's mark lies in the user's
    // data folder ($XDG_DATA_HOME), wherever that is.
    static std::string rulePath(const std::string& home, const std::string& relative);

    void evaluateCombined(const Rule& rule, const std::vector<std::string>& paths,
                          std::vector<CleanupRecommendation>& out, std::stop_token stop) const;
    void evaluatePerChild(const Rule& rule, const std::vector<std::string>& paths,
                          std::vector<CleanupRecommendation>& out, std::stop_token stop) const;
    void addLargeDownloads(std::vector<CleanupRecommendation>& out) const;
    void addOldNodeModules(std::vector<CleanupRecommendation>& out) const;

    std::string home_;
    StorageDatabase* database_;
    std::string systemRoot_;
};
