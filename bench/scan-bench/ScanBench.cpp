// Times full, unchanged and lightly changed scans of one tree, next to du, gdu
// and ncdu on the same tree, and checks the scanned totals against a walk of
// its own.
//
//   scan-bench [--tree DIR] [--files N] [--cache FILE] [--workers N] [--no-peers] [--once] [--rescan]
//
// --rescan scans the tree once more into an existing cache (for profiling a rescan alone);
// with --change, after changing 1% of the files.

#include "BenchArguments.h"
#include "BenchTree.h"
#include "index/StorageDatabase.h"
#include "platform/DescriptorLimit.h"
#include "scanning/FileScanner.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <ftw.h>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string tree;
    std::int64_t files = 300'000;
    std::string cache;
    int workers = 8;
    bool peers = true;
    bool once = false;
    bool rescan = false;
    bool change = false;
};

constexpr const char* usageLine =
    "[--tree DIR] [--files N] [--cache FILE] [--workers N] [--no-peers] [--once] [--rescan [--change]]";

Options parse(BenchArguments& args)
{
    Options options;
    while (const auto arg = args.next()) {
        if (arg == "--tree")
            options.tree = args.value();
        else if (arg == "--files")
            options.files = std::stoll(args.value());
        else if (arg == "--cache")
            options.cache = args.value();
        else if (arg == "--workers")
            options.workers = std::stoi(args.value());
        else if (arg == "--no-peers")
            options.peers = false;
        else if (arg == "--once")
            options.once = true;
        else if (arg == "--rescan")
            options.rescan = true;
        else if (arg == "--change")
            options.change = true;
        else
            args.fail("unknown argument " + *arg);
    }
    if (options.files < 10)
        args.fail("--files must be at least 10");
    if (options.rescan && (options.cache.empty() || options.tree.empty()))
        args.fail("--rescan needs --tree and the --cache of an earlier scan of it");
    return options;
}

void print(const std::string& name, const std::string& value) { std::cout << name << ": " << value << "\n" << std::flush; }

void print(const std::string& name, const char* value) { print(name, std::string(value)); }

template <class T>
void print(const std::string& name, T value)
{
    print(name, std::to_string(value));
}

std::string fixed(double value, int digits = 3)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Touches 1% of the files: every hundredth regular file grows by a few bytes.
std::int64_t changeOnePercent(const std::string& root)
{
    std::int64_t changed = 0;
    std::int64_t index = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::error_code error;
        if (!it->is_regular_file(error) || it->is_symlink(error))
            continue;
        if (index++ % 100 != 37)
            continue;
        std::ofstream(it->path(), std::ios::app) << "changed";
        ++changed;
    }
    return changed;
}

struct Walk {
    std::int64_t files = 0;
    std::int64_t folders = 0;   // below the root
    std::int64_t allocated = 0;
    std::int64_t size = 0;      // every link's own, as the folders' sizes count them
};

Walk walked;
std::set<std::pair<dev_t, ino_t>>* linkedSeen = nullptr;

int visit(const char*, const struct stat* info, int type, struct FTW* where)
{
    if (type == FTW_D || type == FTW_DNR) {
        if (where->level > 0)
            ++walked.folders;
    } else if (type == FTW_F || type == FTW_SL || type == FTW_SLN) {
        if (S_ISREG(info->st_mode) || S_ISLNK(info->st_mode)) {
            ++walked.files;
            walked.size += info->st_size;
            if (!S_ISREG(info->st_mode) || info->st_nlink < 2 || linkedSeen->insert({info->st_dev, info->st_ino}).second)
                walked.allocated += info->st_blocks * 512;
        }
    }
    return 0;
}

// An independent count of the tree, staying on its device, following no link.
Walk walk(const std::string& root)
{
    std::set<std::pair<dev_t, ino_t>> seen;
    walked = Walk();
    linkedSeen = &seen;
    ::nftw(root.c_str(), visit, 64, FTW_PHYS | FTW_MOUNT);
    return walked;
}

void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A figure of /proc/self/status in bytes: VmHWM (the peak) or VmRSS.
std::int64_t memoryBytes(const std::string& field = "VmHWM:")
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stoll(line.substr(field.size())) * 1024;
    return 0;
}

bool installed(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Best of two warm runs, in seconds; absent when the command failed.
std::optional<double> timeCommand(const std::string& command)
{
    std::optional<double> best;
    for (int run = 0; run < 2; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system((command + " >/dev/null 2>&1").c_str());
        const double elapsed = seconds(start);
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return std::nullopt;
        best = best ? std::min(*best, elapsed) : elapsed;
    }
    return best;
}

std::string shellQuoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

struct Measured {
    double seconds = 0;
    double walkSeconds = 0;   // until the folders are read and written; the finish follows
    double indexSeconds = 0;  // until the indexes built behind the finish are ready
    ScanOutcome outcome;
    std::int64_t peakMemory = 0;          // until the indexes are ready
    std::int64_t peakMemoryOfScan = 0;    // until the scan returned
    std::int64_t memoryBefore = 0;   // resident when the scan started
};

Measured measureScan(StorageDatabase& database, const Options& options, const std::string& tree)
{
    resetPeakMemory();
    Measured measured;
    measured.memoryBefore = memoryBytes("VmRSS:");
    ScanConfiguration configuration{{tree}, {}, options.workers, "/nonexistent-home"};
    FileScanner scanner(database, configuration);
    const auto start = std::chrono::steady_clock::now();
    measured.outcome = scanner.scan(std::nullopt, {}, [&](const ScanProgress& progress) {
        if (progress.phase.kind() == ScanPhase::Kind::finalizing)
            measured.walkSeconds = seconds(start);
    });
    measured.seconds = seconds(start);
    measured.peakMemoryOfScan = memoryBytes();
    database.waitForIndexes();
    measured.indexSeconds = seconds(start);
    measured.peakMemory = memoryBytes();
    return measured;
}

void report(const std::string& name, const Measured& measured, StorageDatabase& database)
{
    const auto& progress = measured.outcome.progress;
    print(name + " files", progress.filesScanned);
    print(name + " folders", progress.foldersScanned);
    print(name + " seconds", fixed(measured.seconds));
    print(name + " walk seconds", fixed(measured.walkSeconds));
    print(name + " finish seconds", fixed(measured.seconds - measured.walkSeconds));
    print(name + " seconds until indexes ready", fixed(measured.indexSeconds));
    print(name + " files per second", fixed(progress.filesScanned / std::max(measured.seconds, 1e-9), 0));
    print(name + " new files", progress.newFiles);
    print(name + " changed files", progress.changedFiles);
    print(name + " deleted files", progress.deletedFiles);
    print(name + " errors", progress.errors + progress.restrictedFolders);
    print(name + " peak memory MB", fixed(measured.peakMemory / 1e6, 1));
    print(name + " peak memory until the scan returned MB", fixed(measured.peakMemoryOfScan / 1e6, 1));
    print(name + " memory at start MB", fixed(measured.memoryBefore / 1e6, 1));
    const std::int64_t cacheBytes = database.databaseFileSize();
    print(name + " cache bytes", cacheBytes);
    print(name + " cache bytes per file", fixed(static_cast<double>(cacheBytes) / std::max<std::int64_t>(1, progress.filesScanned), 1));
}

bool checkTotals(StorageDatabase& database, const std::string& tree, const std::string& when)
{
    const Walk expected = walk(tree);
    const auto root = database.folder(tree);
    // The size too: a rescan of files that grew within their blocks changes nothing else.
    const bool same = root && root->fileCount == expected.files && root->folderCount == expected.folders &&
                      root->totalAllocated == expected.allocated && root->totalSize == expected.size;
    print("check after " + when,
          same ? std::string("totals match the independent walk")
               : "DIFFER: scanned " + std::to_string(root ? root->fileCount : -1) + " files, " +
                     std::to_string(root ? root->folderCount : -1) + " folders, " +
                     std::to_string(root ? root->totalAllocated : -1) + " bytes allocated, " +
                     std::to_string(root ? root->totalSize : -1) + " bytes in size; walked " +
                     std::to_string(expected.files) + " files, " + std::to_string(expected.folders) + " folders, " +
                     std::to_string(expected.allocated) + " bytes allocated, " + std::to_string(expected.size) +
                     " bytes in size");
    return same;
}

} // namespace

int main(int argc, char** argv)
{
    BenchArguments args(argc, argv, "scan-bench", usageLine);
    const Options options = parse(args);
    // As the program does at start-up.
    DescriptorLimit::raiseToHardLimit();
    std::string scratch;
    std::string tree = options.tree;
    bool ownTree = false;
    if (tree.empty() || options.cache.empty()) {
        char pattern[] = "/var/tmp/scan-bench-XXXXXX";
        if (!::mkdtemp(pattern))
            args.fail("cannot make a scratch folder");
        scratch = pattern;
    }
    if (tree.empty()) {
        tree = scratch + "/tree";
        ownTree = true;
    }
    tree = fs::absolute(tree).lexically_normal().string();
    while (tree.size() > 1 && tree.back() == '/')
        tree.pop_back();

    if (!fs::exists(tree)) {
        const auto start = std::chrono::steady_clock::now();
        BenchTree::generate(tree, options.files);
        print("tree generated", tree);
        print("tree generation seconds", fixed(seconds(start)));
    } else {
        print("tree", tree);
    }

    std::string cache = options.cache.empty() ? scratch + "/ScanCache.sqlite" : options.cache;
    if (fs::exists(cache) != options.rescan)
        args.fail(options.rescan ? "--rescan needs an existing cache"
                             : "the cache file exists already; the first scan needs a new one");

    // Warm the caches the same way for everyone: one full walk.
    const Walk warm = walk(tree);
    print("tree files", warm.files);
    print("tree folders", warm.folders + 1);
    print("tree allocated bytes", warm.allocated);
    print("workers", options.workers);

    bool allMatch = true;
    std::optional<double> gduSeconds;
    std::int64_t scannedFiles = 0;
    {
        StorageDatabase database(cache);
        if (options.rescan) {
            const std::string name = options.change ? "rescan after 1% changed" : "unchanged rescan";
            if (options.change) {
                print("files changed for the rescan", changeOnePercent(tree));
                walk(tree);
            }
            const Measured again = measureScan(database, options, tree);
            report(name, again, database);
            return checkTotals(database, tree, name) ? 0 : 1;
        }
        const Measured first = measureScan(database, options, tree);
        report("first scan", first, database);
        scannedFiles = first.outcome.progress.filesScanned;
        allMatch &= checkTotals(database, tree, "first scan");

        if (!options.once) {
            const Measured unchanged = measureScan(database, options, tree);
            report("unchanged rescan", unchanged, database);
            allMatch &= checkTotals(database, tree, "unchanged rescan");

            print("files changed for the third scan", changeOnePercent(tree));
            walk(tree);
            const Measured changed = measureScan(database, options, tree);
            report("rescan after 1% changed", changed, database);
            allMatch &= checkTotals(database, tree, "rescan after 1% changed");

            if (options.peers) {
                struct Peer { const char* name; const char* program; std::string command; };
                const Peer peers[] = {
                    {"du", "du", "du -sB1 " + shellQuoted(tree)},
                    {"gdu", "gdu", "gdu -n -p -c " + shellQuoted(tree)},
                    {"ncdu", "ncdu", "ncdu -o /dev/null " + shellQuoted(tree)},
                };
                for (const auto& peer : peers) {
                    if (!installed(peer.program)) {
                        print(std::string(peer.name) + " seconds", "skipped, not installed");
                        continue;
                    }
                    const auto elapsed = timeCommand(peer.command);
                    print(std::string(peer.name) + " seconds", elapsed ? fixed(*elapsed) : std::string("failed"));
                    if (std::string(peer.name) == "gdu")
                        gduSeconds = elapsed;
                }
                if (gduSeconds && *gduSeconds > 0) {
                    print("first scan / gdu", fixed(first.seconds / *gduSeconds, 2));
                    print("unchanged rescan / gdu", fixed(unchanged.seconds / *gduSeconds, 2));
                    print("rescan after 1% changed / gdu", fixed(changed.seconds / *gduSeconds, 2));
                } else {
                    print("ratios to gdu", "not available");
                }
            }
        }
    }
    // Closing folds the write-ahead log back into the cache file.
    std::error_code sizeError;
    const auto closedBytes = static_cast<std::int64_t>(fs::file_size(cache, sizeError));
    if (!sizeError) {
        print("cache bytes after closing", closedBytes);
        print("cache bytes per file after closing",
              fixed(static_cast<double>(closedBytes) / std::max<std::int64_t>(1, scannedFiles), 1));
    }
    print("totals check", allMatch ? "all scans match" : "DIFFERENCES FOUND");

    if (!scratch.empty()) {
        std::error_code error;
        if (ownTree)
            fs::remove_all(scratch, error);
        else {
            fs::remove(scratch + "/ScanCache.sqlite", error);
            fs::remove(scratch + "/ScanCache.sqlite-wal", error);
            fs::remove(scratch + "/ScanCache.sqlite-shm", error);
            fs::remove(scratch, error);
        }
    }
    return allMatch ? 0 : 1;
}
