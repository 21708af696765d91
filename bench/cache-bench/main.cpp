// Rescans one tree many times while it changes between the scans, then sets the size of the
// cache they leave against a fresh cache of the final tree, each measured after closing, and
// checks every scan's totals against a walk of its own.
//
//   cache-bench [--files N] [--rescans N] [--workers N] [--dir DIR] [--every N]
//
// --dir keeps the tree and both caches there (a new folder); --every prints the cache's size
// every N rescans.

#include "BenchArguments.h"
#include "BenchTree.h"
#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "platform/DescriptorLimit.h"
#include "scanning/FileScanner.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::int64_t files = 20'000;
    int rescans = 300;
    int workers = 4;
    std::string dir;
    int every = 50;
};

constexpr const char* usageLine = "[--files N] [--rescans N] [--workers N] [--dir DIR] [--every N]";

Options parse(BenchArguments& args)
{
    Options options;
    while (const auto arg = args.next()) {
        if (arg == "--files")
            options.files = std::stoll(args.value());
        else if (arg == "--rescans")
            options.rescans = std::stoi(args.value());
        else if (arg == "--workers")
            options.workers = std::stoi(args.value());
        else if (arg == "--dir")
            options.dir = args.value();
        else if (arg == "--every")
            options.every = std::max(1, std::stoi(args.value()));
        else
            args.fail("unknown argument " + *arg);
    }
    if (options.files < 100)
        args.fail("--files must be at least 100");
    if (options.rescans < 0)
        args.fail("--rescans cannot be negative");
    return options;
}

void print(const std::string& name, const std::string& value) { std::cout << name << ": " << value << "\n" << std::flush; }

std::string fixed(double value, int digits = 2)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

// The changes made between two scans, the same on every machine: every round grows, adds,
// removes and moves about 1% of the files each, and adds a folder of files while removing
// the one added ten rounds before, so that the tree keeps its size while its rows turn over.
class Churn {
public:
    explicit Churn(const std::string& tree) : tree_(tree)
    {
        for (auto it = fs::recursive_directory_iterator(tree); it != fs::recursive_directory_iterator(); ++it) {
            if (it->is_directory() && !it->is_symlink())
                folders_.push_back(it->path().string());
            else if (it->is_regular_file() && !it->is_symlink())
                files_.push_back(it->path().string());
        }
        std::sort(folders_.begin(), folders_.end());
        std::sort(files_.begin(), files_.end());
    }

    void round(int number)
    {
        const std::size_t share = std::max<std::size_t>(1, files_.size() / 100);
        for (std::size_t i = 0; i < share && !files_.empty(); ++i)
            write(files_[pick(files_.size())], 1 + pick(5000), O_APPEND);
        for (std::size_t i = 0; i < share && files_.size() > share; ++i) {
            const std::size_t at = pick(files_.size());
            fs::remove(files_[at]);
            files_[at] = files_.back();
            files_.pop_back();
        }
        for (std::size_t i = 0; i < share && !files_.empty(); ++i) {
            const std::size_t at = pick(files_.size());
            const std::string moved = folders_[pick(folders_.size())] + "/moved-" + std::to_string(number) + "-" +
                                      std::to_string(i) + fs::path(files_[at]).extension().string();
            std::error_code error;
            fs::rename(files_[at], moved, error);
            if (!error)
                files_[at] = moved;
        }
        for (std::size_t i = 0; i < share; ++i) {
            const std::string path =
                folders_[pick(folders_.size())] + "/new-" + std::to_string(number) + "-" + std::to_string(i) + ".dat";
            write(path, pick(12000), O_CREAT | O_TRUNC);
            files_.push_back(path);
        }
        const std::string added = folders_[pick(folders_.size())] + "/added-" + std::to_string(number);
        fs::create_directory(added);
        for (int i = 0; i < 40; ++i)
            write(added + "/item-" + std::to_string(i) + ".txt", pick(12000), O_CREAT | O_TRUNC);
        added_.push_back(added);
        if (added_.size() > 10) {
            fs::remove_all(added_.front());
            added_.erase(added_.begin());
        }
    }

private:
    std::size_t pick(std::size_t count) { return static_cast<std::size_t>(random_() % count); }

    // Written through to the disk, so that its allocation is settled before the scan: the
    // blocks a file counts can still change while its writes wait.
    static void write(const std::string& path, std::size_t bytes, int flags)
    {
        const int file = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
        if (file < 0)
            return;
        const std::string text(bytes, 'n');
        if (::write(file, text.data(), text.size()) >= 0)
            ::fdatasync(file);
        ::close(file);
    }

    std::string tree_;
    std::vector<std::string> folders_;
    std::vector<std::string> files_;
    std::vector<std::string> added_;
    std::mt19937_64 random_{20261208};
};

struct Walk {
    std::int64_t files = 0;
    std::int64_t folders = 0;   // below the root
    std::int64_t allocated = 0;
};

// An independent count of the tree, following no link.
Walk walk(const std::string& root)
{
    Walk walked;
    std::set<std::pair<dev_t, ino_t>> linked;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            ++walked.folders;
        } else if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
            ++walked.files;
            if (!S_ISREG(info.st_mode) || info.st_nlink < 2 || linked.insert({info.st_dev, info.st_ino}).second)
                walked.allocated += info.st_blocks * 512;
        }
    }
    return walked;
}

bool scanMatchesWalk(StorageDatabase& database, const std::string& tree, int workers)
{
    FileScanner scanner(database, ScanConfiguration{.roots = {tree}, .maxConcurrency = workers,
                                                    .homeDirectory = "/nonexistent-home"});
    const ScanOutcome outcome = scanner.scan(std::nullopt, {}, {});
    const Walk expected = walk(tree);
    const auto root = database.folder(tree);
    if (outcome.status == ScanRecord::Status::completed && root && root->fileCount == expected.files &&
        root->folderCount == expected.folders && root->totalAllocated == expected.allocated)
        return true;
    std::cout << "DIFFERS: scanned " << (root ? root->fileCount : -1) << " files, " << (root ? root->folderCount : -1)
              << " folders, " << (root ? root->totalAllocated : -1) << " bytes; walked " << expected.files
              << " files, " << expected.folders << " folders, " << expected.allocated << " bytes; scan "
              << (outcome.status == ScanRecord::Status::completed ? "completed" : "not completed") << "\n";
    return false;
}

// The cache file's size with its companions, and its pages: in all and on the free list.
struct CacheSize {
    std::int64_t bytes = 0;
    std::int64_t pages = 0;
    std::int64_t freePages = 0;
};

CacheSize measure(const std::string& cache)
{
    CacheSize size;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::error_code error;
        const auto bytes = fs::file_size(cache + suffix, error);
        if (!error)
            size.bytes += static_cast<std::int64_t>(bytes);
    }
    SQLiteConnection db(cache, SQLiteConnection::Access::readOnly);
    size.pages = db.scalarInt("PRAGMA page_count");
    size.freePages = db.scalarInt("PRAGMA freelist_count");
    return size;
}

std::string describe(const CacheSize& size, std::int64_t files)
{
    return std::to_string(size.bytes) + " bytes, " + fixed(static_cast<double>(size.bytes) / std::max<std::int64_t>(1, files), 1) +
           " per file, " + std::to_string(size.freePages) + " of " + std::to_string(size.pages) + " pages free";
}

} // namespace

int main(int argc, char** argv)
{
    BenchArguments args(argc, argv, "cache-bench", usageLine);
    const Options options = parse(args);
    DescriptorLimit::raiseToHardLimit();
    std::string dir = options.dir;
    if (dir.empty()) {
        char pattern[] = "/var/tmp/cache-bench-XXXXXX";
        if (!::mkdtemp(pattern))
            args.fail("cannot make a scratch folder");
        dir = pattern;
    } else if (!fs::create_directory(dir)) {
        args.fail(dir + " exists already");
    }
    dir = fs::absolute(dir).lexically_normal().string();
    const std::string tree = dir + "/tree";
    const std::string cache = dir + "/Rescanned.sqlite";
    const std::string fresh = dir + "/Fresh.sqlite";
    BenchTree::generate(tree, options.files);
    Churn churn(tree);
    print("files", std::to_string(options.files));
    print("rescans", std::to_string(options.rescans));

    int mismatches = 0;
    int shrinks = 0;
    std::int64_t largestPages = 0;
    std::int64_t largestBytes = 0;   // with the log
    std::int64_t finalFiles = 0;
    const auto start = std::chrono::steady_clock::now();
    {
        StorageDatabase database(cache);
        mismatches += scanMatchesWalk(database, tree, options.workers) ? 0 : 1;
        database.waitForIndexes();
        print("after the first scan", describe(measure(cache), options.files));
        CacheSize last = measure(cache);
        for (int rescan = 1; rescan <= options.rescans; ++rescan) {
            churn.round(rescan);
            mismatches += scanMatchesWalk(database, tree, options.workers) ? 0 : 1;
            const CacheSize now = measure(cache);
            largestPages = std::max(largestPages, now.pages);
            largestBytes = std::max(largestBytes, now.bytes);
            shrinks += now.pages < last.pages ? 1 : 0;
            last = now;
            if (rescan % options.every == 0 || rescan == options.rescans)
                print("after rescan " + std::to_string(rescan), describe(now, options.files));
        }
        finalFiles = database.totals().fileCount;
    }
    print("times the file shrank", std::to_string(shrinks));
    print("rescan seconds", fixed(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1));
    const CacheSize rescanned = measure(cache);
    print("rescanned cache after closing", describe(rescanned, finalFiles));
    {
        StorageDatabase database(fresh);
        mismatches += scanMatchesWalk(database, tree, options.workers) ? 0 : 1;
    }
    const CacheSize newOne = measure(fresh);
    print("fresh cache of the final tree after closing", describe(newOne, finalFiles));
    print("rescanned / fresh", fixed(static_cast<double>(rescanned.bytes) / std::max<std::int64_t>(1, newOne.bytes)));
    print("largest file during the rescans / fresh",
          fixed(static_cast<double>(largestPages) / std::max<std::int64_t>(1, newOne.pages)));
    print("largest with its log during the rescans / fresh",
          fixed(static_cast<double>(largestBytes) / std::max<std::int64_t>(1, newOne.bytes)));
    print("totals check", mismatches == 0 ? "every scan matches the independent walk"
                                         : std::to_string(mismatches) + " SCANS DIFFER from the walk");
    if (options.dir.empty())
        fs::remove_all(dir);
    return mismatches == 0 ? 0 : 1;
}
