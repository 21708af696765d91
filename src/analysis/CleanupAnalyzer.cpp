#include "analysis/CleanupAnalyzer.h"

#include "analysis/FileItemPath.h"
#include "index/StorageDatabase.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "platform/TrashFolders.h"
#include "scanning/DirectoryReader.h"
#include "scanning/FolderAnalyzer.h"
#include "scanning/SecurityUtils.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

namespace {

constexpr std::string_view restrictedNote = " (Size may be incomplete: some folders are restricted.)";
constexpr double ninetyDays = 7'776'000.0;

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

struct MeasuredSize {
    std::int64_t bytes = 0;
    bool incomplete = false;
};

MeasuredSize sizeOf(const std::string& path, StorageDatabase* database, std::stop_token stop)
{
    FolderSizeResult result = FolderAnalyzer::cachedOrCalculatedSize(path, database, stop);
    return {result.allocatedSize, result.restrictedFolderCount > 0 || result.wasCancelled};
}

// True when one path contains the other or they are the same.
bool overlaps(const std::string& child, const std::string& entry)
{
    return entry == "/" || child == entry || child == "/" || child.starts_with(entry + "/")
        || entry.starts_with(child + "/");
}

double now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

std::vector<CleanupRecommendation> CleanupAnalyzer::analyze(const ProgressCallback& progress,
                                                            std::stop_token stop) const
{
    std::vector<CleanupRecommendation> result;
    for (const auto& rule : rules()) {
        if (stop.stop_requested()) break;
        if (progress) progress(rule.title);
        std::vector<std::string> candidates;
        for (const auto& relative : rule.relativePaths)
            candidates.push_back(relative.starts_with('/') ? systemRoot_ + relative : rulePath(home_, relative));
        // The freedesktop.org Trash may lie outside the home ($XDG_DATA_HOME) and on other volumes.
        if (rule.title == "Trash")
            for (auto& trash : TrashFolders::all(home_))
                if (std::find(candidates.begin(), candidates.end(), trash) == candidates.end())
                    candidates.push_back(std::move(trash));
        std::vector<std::string> existing;
        for (auto& path : candidates)
            if (exists(path)) existing.push_back(std::move(path));
        if (existing.empty()) continue;
        if (rule.perChild)
            evaluatePerChild(rule, existing, result, stop);
        else
            evaluateCombined(rule, existing, result, stop);
    }

    if (database_) {
        addLargeDownloads(result);
        addOldNodeModules(result);
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const CleanupRecommendation& a, const CleanupRecommendation& b) { return a.bytes > b.bytes; });
    return result;
}

void CleanupAnalyzer::evaluateCombined(const Rule& rule, const std::vector<std::string>& paths,
                                       std::vector<CleanupRecommendation>& out, std::stop_token stop) const
{
    MeasuredSize total;
    std::vector<std::int64_t> pathBytes;
    // A Trash inside a place (the data home's) is a finding of its own, not counted twice.
    std::vector<std::string> trashes;
    if (rule.title != "Trash")
        trashes = TrashFolders::all(home_);
    for (const auto& path : paths) {
        MeasuredSize size = sizeOf(path, database_, stop);
        for (const auto& trash : trashes)
            if (trash != path && Paths::isWithin(trash, path) && exists(trash))
                size.bytes = std::max<std::int64_t>(0, size.bytes - sizeOf(trash, database_, stop).bytes);
        pathBytes.push_back(size.bytes);
        total.bytes += size.bytes;
        total.incomplete = total.incomplete || size.incomplete;
    }
    // Places whose threshold is a single byte show even at 0 bytes when they could not be read.
    if (total.bytes < rule.minimumBytes && !(total.incomplete && rule.minimumBytes <= 1)) return;
    std::string detail = rule.detail;
    if (total.incomplete) detail += restrictedNote;
    out.push_back({rule.title, std::move(detail), paths, total.bytes, total.incomplete, rule.safety, rule.action,
                   rule.symbol, std::move(pathBytes)});
}

void CleanupAnalyzer::evaluatePerChild(const Rule& rule, const std::vector<std::string>& paths,
                                       std::vector<CleanupRecommendation>& out, std::stop_token stop) const
{
    std::vector<std::string> children;
    for (const auto& path : paths) {
        // A folder that cannot be listed simply contributes no children.
        (void)DirectoryReader().read(path, [&](const RawDirectoryEntry& entry) {
            bool fileOrFolder = entry.kind == RawDirectoryEntry::Kind::file
                || entry.kind == RawDirectoryEntry::Kind::directory;
            if (fileOrFolder && entry.hasValidName && entry.name != ".DS_Store")
                children.push_back(path + "/" + entry.name);
        });
    }

    // The application caches folder holds the browser caches, which have a rule of their own.
    std::vector<std::string> browserCaches;
    for (const auto& candidate : rules()) {
        if (candidate.title != "Browser caches") continue;
        for (const auto& relative : candidate.relativePaths)
            browserCaches.push_back(Paths::asciiLowercased(rulePath(home_, relative)));
        break;
    }

    const std::string userHome = SystemPaths::homeDirectory();
    const std::vector<std::string> appOwned = SecurityUtils::appOwnedPaths();
    for (const auto& child : children) {
        if (stop.stop_requested()) return;
        if (rule.title == "Application caches") {
            std::string lowered = Paths::asciiLowercased(child);
            if (std::any_of(browserCaches.begin(), browserCaches.end(),
                            [&](const std::string& entry) { return overlaps(lowered, entry); }))
                continue;
        }
        MeasuredSize size = sizeOf(child, database_, stop);
        if (size.bytes < rule.minimumBytes) continue;

        CleanupSafety safety = rule.safety;
        CleanupRecommendation::Action action = rule.action;
        if (SecurityUtils::evaluate(child, userHome, appOwned, true).isProtected()) {
            safety = CleanupSafety::doNotRemove;
            action = CleanupRecommendation::Action::none();
        }
        out.push_back({rule.title + ": " + Paths::lastComponent(child), rule.detail, {child}, size.bytes,
                       size.incomplete, safety, action, rule.symbol, {size.bytes}});
    }
}

void CleanupAnalyzer::addLargeDownloads(std::vector<CleanupRecommendation>& out) const
{
    std::vector<FileItem> files;
    try {
        files = database_->largestFiles(25, std::nullopt, home_ + "/Downloads", 500'000'000);
    } catch (const std::exception&) {
        return;
    }
    for (const auto& file : files) {
        out.push_back({"Large download: " + file.name,
                       "Downloaded files are often installers or archives you no longer need.", {pathOf(file)},
                       file.allocatedSize, false, CleanupSafety::review, CleanupRecommendation::Action::moveToTrash(),
                       "arrow.down.circle", {file.allocatedSize}});
    }
}

void CleanupAnalyzer::addOldNodeModules(std::vector<CleanupRecommendation>& out) const
{
    const double cutoff = now() - ninetyDays;
    std::vector<FolderItem> folders;
    try {
        folders = database_->folders("node_modules", true, 50);
    } catch (const std::exception&) {
        return;
    }
    for (const auto& folder : folders) {
        // A folder without a date is never taken for old.
        if (!folder.modified || !(*folder.modified < cutoff)) continue;
        if (folder.totalAllocated < 50'000'000) continue;
        out.push_back({"Old node_modules: " + Paths::lastComponent(Paths::deletingLastComponent(folder.path)),
                       "Not modified in 90+ days. Reinstall with npm/yarn/pnpm install when you return to the project.",
                       {folder.path}, folder.totalAllocated, folder.isRestricted, CleanupSafety::review,
                       CleanupRecommendation::Action::moveToTrash(), "cube.box", {folder.totalAllocated}});
    }
}
