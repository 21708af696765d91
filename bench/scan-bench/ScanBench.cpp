// Times full, unchanged and lightly changed scans of one tree, next to du, gdu
// and ncdu on the same tree (each peer run once before every scan of ours and
// once after the last, so that a machine whose speed drifts moves both), and
// checks the scanned totals against a walk of its own.
//
//   scan-bench [--tree DIR] [--files N] [--cache FILE] [--workers N] [--no-peers] [--once [--quit-early]]
//              [--rescan [--change]]
//
// --rescan scans the tree once more into an existing cache, in a process of its own as after
// a restart; with --change, after changing 1% of the files. --quit-early ends the first scan's
// process as soon as the scan is stored, before its indexes are built.

#include "BenchArguments.h"
#include "BenchTree.h"
#include "index/StorageDatabase.h"
#include "platform/DescriptorLimit.h"
#include "scanning/FileScanner.h"

#include <algorithm>
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
    std::int64_t files = 1'000'000;
    std::string cache;
    int workers = 8;
    bool peers = true;
    bool once = false;
    bool rescan = false;
    bool change = false;
    bool quitEarly = false;
};

constexpr const char* usageLine =
    "[--tree DIR] [--files N] [--cache FILE] [--workers N] [--no-peers] [--once [--quit-early]] [--rescan [--change]]";

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
        else if (arg == "--quit-early")
            options.quitEarly = true;
        else
            args.fail("unknown argument " + *arg);
    }
    if (options.files < 10)
        args.fail("--files must be at least 10");
    if (options.rescan && (options.cache.empty() || options.tree.empty()))
        args.fail("--rescan needs --tree and the --cache of an earlier scan of it");
    if (options.quitEarly && (!options.once || options.cache.empty()))
        args.fail("--quit-early needs --once and a --cache to keep");
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

// One warm run, in seconds; absent when the command failed.
std::optional<double> timeCommand(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    const double elapsed = seconds(start);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return elapsed;
}

std::string shellQuoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

// du, gdu and ncdu on the tree, each run once per round; a round goes before each scan of
// ours and one after the last, and a scan is set against the mean of the rounds around it.
class Peers {
public:
    Peers(const std::string& tree, bool wanted)
    {
        if (!wanted)
            return;
        const Peer all[] = {
            {"du", "du", "du -sB1 " + shellQuoted(tree)},
            {"gdu", "gdu", "gdu -n -p -c " + shellQuoted(tree)},
            {"ncdu", "ncdu", "ncdu -o /dev/null " + shellQuoted(tree)},
        };
        for (const auto& peer : all) {
            if (installed(peer.program))
                peers_.push_back(peer);
            else
                print(std::string(peer.name) + " seconds", "skipped, not installed");
        }
    }

    void round()
    {
        for (auto& peer : peers_) {
            const auto elapsed = timeCommand(peer.command);
            peer.runs.push_back(elapsed.value_or(-1));
            print(std::string(peer.name) + " seconds, round " + std::to_string(peer.runs.size()),
                  elapsed ? fixed(*elapsed) : std::string("failed"));
        }
    }

    // Our time against gdu's in the rounds just before and just after scan `scan` (from 0).
    void ratio(const std::string& name, double ours, std::size_t scan) const
    {
        for (const auto& peer : peers_) {
            if (std::string(peer.name) != "gdu" || peer.runs.size() < scan + 2)
                continue;
            const double before = peer.runs[scan];
            const double after = peer.runs[scan + 1];
            if (before > 0 && after > 0)
                print(name + " / gdu", fixed(ours / ((before + after) / 2), 2));
        }
    }

    // Each peer's median over the rounds.
    void summary() const
    {
        for (const auto& peer : peers_) {
            std::vector<double> runs;
            for (const double run : peer.runs)
                if (run > 0)
                    runs.push_back(run);
            if (runs.empty())
                continue;
            std::sort(runs.begin(), runs.end());
            print(std::string(peer.name) + " seconds, median", fixed(runs[runs.size() / 2]));
        }
    }

private:
    struct Peer {
        const char* name;
        const char* program;
        std::string command;
        std::vector<double> runs{};
    };
    std::vector<Peer> peers_;
};

struct Measured {
    double seconds = 0;
    double walkSeconds = 0;   // until the folders are read and written; the finish follows
    double indexSeconds = 0;  // until the indexes built behind the finish are ready
    ScanOutcome outcome;
    std::int64_t peakMemory = 0;          // until the indexes are ready
    std::int64_t peakMemoryOfScan = 0;    // until the scan returned
    std::int64_t memoryBefore = 0;   // resident when the scan started
};

Measured measureScan(StorageDatabase& database, const Options& options, const std::string& tree,
                     bool waitForIndexes = true)
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
    if (waitForIndexes)
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
    std::int64_t scannedFiles = 0;
    Peers peers(tree, options.peers);
    {
        StorageDatabase database(cache);
        if (options.rescan) {
            const std::string name = options.change ? "rescan after 1% changed" : "unchanged rescan";
            if (options.change) {
                print("files changed for the rescan", changeOnePercent(tree));
                walk(tree);
            }
            peers.round();
            const Measured again = measureScan(database, options, tree);
            peers.round();
            report(name, again, database);
            peers.ratio(name, again.seconds, 0);
            peers.summary();
            return checkTotals(database, tree, name) ? 0 : 1;
        }
        peers.round();
        const Measured first = measureScan(database, options, tree, !options.quitEarly);
        peers.round();
        report("first scan", first, database);
        peers.ratio("first scan", first.seconds, 0);
        scannedFiles = first.outcome.progress.filesScanned;
        allMatch &= checkTotals(database, tree, "first scan");
        if (options.quitEarly) {
            // The cache closes with its indexes left to the next opening.
            print("quit before the indexes were built", "yes");
            return allMatch ? 0 : 1;
        }

        if (!options.once) {
            const Measured unchanged = measureScan(database, options, tree);
            peers.round();
            report("unchanged rescan", unchanged, database);
            peers.ratio("unchanged rescan in the same process", unchanged.seconds, 1);
            allMatch &= checkTotals(database, tree, "unchanged rescan");

            print("files changed for the third scan", changeOnePercent(tree));
            walk(tree);
            const Measured changed = measureScan(database, options, tree);
            peers.round();
            report("rescan after 1% changed", changed, database);
            peers.ratio("rescan after 1% changed in the same process", changed.seconds, 2);
            allMatch &= checkTotals(database, tree, "rescan after 1% changed");
        }
        peers.summary();
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
