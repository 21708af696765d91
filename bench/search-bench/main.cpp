// Fills a scan cache with 1,000,000 files through the directory sync and times searches over
// it as the search screen runs them (files and folders, parsed from the typed text).
// Usage: search-bench [cache path [query text...]]   (default cache: /tmp/search-bench-ScanCache.sqlite,
// kept between runs and refilled only when it does not hold the expected files)
#include "BenchArguments.h"
#include "analysis/SearchService.h"
#include "index/StorageDatabase.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int projectCount = 100;
constexpr int foldersPerProject = 100;
constexpr int filesPerFolder = 100;
constexpr std::int64_t fileCount = std::int64_t{projectCount} * foldersPerProject * filesPerFolder;

const std::vector<std::string> words = {"report", "photo", "Invoice", "backup", "draft", "Äpfel", "summary",
                                        "IMG",    "notes", "budget",  "video",  "song",  "archive", "été"};
const std::vector<std::string> extensions = {"txt", "jpg", "pdf", "mov", "dmg", "zip", "swift", "json"};

// CPU time of this thread: on a busy machine the wall-clock time also counts waiting for a core.
double threadCPUMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

DirectorySnapshot snapshot(std::string path, std::string name, std::optional<std::int64_t> parentID,
                           std::int64_t folderID, int depth)
{
    DirectorySnapshot s;
    s.path = std::move(path);
    s.name = std::move(name);
    s.parentID = parentID;
    s.folderID = folderID;
    s.depth = depth;
    s.modified = 1.7e9;
    return s;
}

void fill(StorageDatabase& db)
{
    std::mt19937_64 random(42);
    const std::string root = "/home/bench";
    const auto scanID = db.beginScan({root});
    const auto rootID = db.ensureRoot(root, 1.7e9);
    auto top = snapshot(root, "bench", std::nullopt, rootID, 0);
    for (int p = 0; p < projectCount; ++p)
        top.subdirectories.push_back({"p" + std::to_string(p), 1.7e9});
    const auto projects = db.syncDirectory(top, scanID).childIDs;

    std::uint64_t inode = 1;
    for (const auto& [projectName, projectID] : projects) {
        auto project = snapshot(root + "/" + projectName, projectName, rootID, projectID, 1);
        for (int f = 0; f < foldersPerProject; ++f)
            project.subdirectories.push_back({projectName + "-f" + std::to_string(f), 1.7e9});
        const auto folders = db.syncDirectory(project, scanID).childIDs;
        for (const auto& [folderName, folderID] : folders) {
            auto folder = snapshot(project.path + "/" + folderName, folderName, projectID, folderID, 2);
            for (int i = 0; i < filesPerFolder; ++i) {
                ScannedFile file;
                file.fileExtension = extensions[random() % extensions.size()];
                file.name = words[random() % words.size()] + "_" + std::to_string(random() % 100'000) + "." +
                            file.fileExtension;
                file.size = file.allocatedSize = file.countedAllocatedSize =
                    static_cast<std::int64_t>(random() % 100'000'000);
                file.modified = 1.6e9 + static_cast<double>(random() % 100'000'000);
                file.created = file.accessed = 1.6e9;
                file.inode = inode++;
                file.category = static_cast<StorageCategory>(random() % storageCategoryCount);
                folder.files.push_back(std::move(file));
            }
            db.syncDirectory(folder, scanID);
        }
    }
    db.finishScan(scanID, {root}, ScanRecord::Status::completed, 0, 0, fileCount, 0, 0);
}

} // namespace

int main(int argc, char** argv)
{
    const auto arguments =
        BenchArguments(argc, argv, "search-bench", "[cache path [query text...]]").plain(static_cast<std::size_t>(argc));
    const std::string path = arguments.empty() ? "/tmp/search-bench-ScanCache.sqlite" : arguments[0];
    StorageDatabase db(path);
    if (db.totals().fileCount != fileCount) {
        db.clearAll();
        const auto start = std::chrono::steady_clock::now();
        fill(db);
        std::printf("filled %lld files through the directory sync in %.1f s\n", static_cast<long long>(fileCount),
                    millisecondsSince(start) / 1000);
    }

    std::vector<std::string> texts = {"report",   "invoice_4242", "Äpfel",          "photo_12*",
                                      "ä*.txt",   "*.dmg",        "notes size > 90MB", "kind:folder p12-f"};
    if (arguments.size() > 1)
        texts.assign(arguments.begin() + 1, arguments.end());
    for (const auto& text : texts) {
        double best = 1e9;
        double bestCPU = 1e9;
        std::size_t found = 0;
        for (int run = 0; run < 5; ++run) {
            const double cpuStart = threadCPUMilliseconds();
            const SearchResults results = SearchService::run(text, &db, {});
            bestCPU = std::min(bestCPU, threadCPUMilliseconds() - cpuStart);
            found = results.files.size() + results.folders.size();
            best = std::min(best, results.duration * 1000);
        }
        std::printf("%-20s %4zu results  best of 5: %6.1f ms (CPU %6.1f ms)\n", text.c_str(), found, best, bestCPU);
    }
    return 0;
}
