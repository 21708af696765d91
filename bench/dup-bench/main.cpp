// Duplicate search over a scanned index against jdupes and rdfind on the same generated tree.
//
//   dup-bench [root-folder]   (default: a new folder under /tmp, removed afterwards)
//
// The tree holds many small files and groups of 1 to 3 MiB files copied to 2 to 4 places, some
// copies under another extension, and look-alikes (equal size and first block, later bytes
// differing). Only files of at least 1 MiB take part on every side. Where the copies share their
// extension our groups must equal theirs; the search must take at most half of jdupes' time.
#include "BenchArguments.h"
#include "analysis/DuplicateScanner.h"
#include "index/StorageDatabase.h"
#include "scanning/FileScanner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Group = std::set<std::string>;
using Groups = std::set<Group>;

namespace {

constexpr std::int64_t mebibyte = 1'048'576;

struct TreeShape {
    int folders = 60;
    int smallFilesPerFolder = 400;
    int duplicateGroups = 150;
    int lookAlikeSets = 40;
};

// Joins text and numbers; "x" + std::to_string(n) trips a false -Wrestrict in GCC 12.
template <class... Parts>
std::string joined(const Parts&... parts)
{
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

void writeFile(const fs::path& path, const std::string& contents)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

std::string randomBytes(std::mt19937_64& random, std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t value = random();
        for (std::size_t j = 0; j < 8 && i + j < size; ++j) text[i + j] = static_cast<char>(value >> (8 * j));
    }
    return text;
}

void generate(const fs::path& root, const TreeShape& shape)
{
    std::mt19937_64 random(20261208);
    auto folder = [&](int i) { return root / joined("d", i % shape.folders) / joined("s", i % 7); };
    static const char* smallExtensions[] = {"txt", "json", "c", "h", "png", "md"};
    for (int f = 0; f < shape.folders; ++f)
        for (int i = 0; i < shape.smallFilesPerFolder; ++i) {
            std::size_t size = 200 + random() % 40'000;
            writeFile(folder(f * 31 + i) / joined("small", f, "_", i, ".", smallExtensions[i % 6]),
                      randomBytes(random, size));
        }

    static const char* largeExtensions[] = {"bin", "mkv", "zip", "iso"};
    for (int g = 0; g < shape.duplicateGroups; ++g) {
        std::size_t size = static_cast<std::size_t>(mebibyte + static_cast<std::int64_t>(random() % (2 * mebibyte)));
        std::string body = randomBytes(random, size);
        int copies = 2 + static_cast<int>(random() % 3);
        std::string extension = largeExtensions[g % 4];
        for (int c = 0; c < copies; ++c) {
            // Every fifth group has one copy under another extension.
            std::string ext = (g % 5 == 0 && c == copies - 1) ? "bak" : extension;
            writeFile(folder(g * 13 + c * 17) / joined("large", g, "_", c, ".", ext), body);
        }
    }

    for (int l = 0; l < shape.lookAlikeSets; ++l) {
        std::size_t size = static_cast<std::size_t>(mebibyte + static_cast<std::int64_t>(random() % mebibyte));
        std::string body = randomBytes(random, size);
        for (int c = 0; c < 3; ++c) {
            std::string copy = body;
            std::size_t offset = 200'000 + static_cast<std::size_t>(c) * 1000;  // after the first block and the partial range
            copy[offset] = static_cast<char>(copy[offset] ^ (c + 1));
            writeFile(folder(l * 11 + c * 5) / joined("alike", l, "_", c, ".dat"), copy);
        }
    }
}

std::string run(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    ::pclose(pipe);
    return output;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// jdupes prints each set as lines of paths followed by a blank line.
Groups parseJdupes(const std::string& output)
{
    Groups groups;
    Group current;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            if (current.size() > 1) groups.insert(current);
            current.clear();
        } else {
            current.insert(line);
        }
    }
    if (current.size() > 1) groups.insert(current);
    return groups;
}

// rdfind's results file: "duptype id depth size device inode priority name", sets keyed by the
// first occurrence's id, which the later members carry negated.
Groups parseRdfind(const std::string& resultsFile)
{
    std::map<long long, Group> byId;
    std::ifstream in(resultsFile);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string type, name;
        long long id, depth, size, device, inode, priority;
        if (!(fields >> type >> id >> depth >> size >> device >> inode >> priority)) continue;
        std::getline(fields >> std::ws, name);
        byId[id < 0 ? -id : id].insert(name);
    }
    Groups groups;
    for (auto& [id, group] : byId)
        if (group.size() > 1) groups.insert(group);
    return groups;
}

std::string extensionOf(const std::string& path)
{
    return fs::path(path).extension().string();
}

// The parts of each set whose members share an extension, which is what our search reports.
Groups splitByExtension(const Groups& groups)
{
    Groups result;
    for (const auto& group : groups) {
        std::map<std::string, Group> parts;
        for (const auto& path : group) parts[extensionOf(path)].insert(path);
        for (auto& [ext, part] : parts)
            if (part.size() > 1) result.insert(part);
    }
    return result;
}

bool compare(const char* tool, const Groups& ours, const Groups& theirs)
{
    Groups expected = splitByExtension(theirs);
    std::size_t missing = 0, extra = 0;
    for (const auto& g : expected) missing += ours.count(g) == 0;
    for (const auto& g : ours) extra += expected.count(g) == 0;
    std::printf("  %-7s %zu sets (%zu by extension); ours missing %zu, ours extra %zu -> %s\n", tool, theirs.size(),
                expected.size(), missing, extra, (missing == 0 && extra == 0) ? "match" : "DIFFER");
    return missing == 0 && extra == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const auto arguments = BenchArguments(argc, argv, "dup-bench", "[root-folder]").plain(1);
    bool ownRoot = arguments.empty();
    fs::path root = ownRoot ? fs::temp_directory_path() / joined("dup-bench-", ::getpid()) : fs::path(arguments[0]);
    fs::path work = fs::temp_directory_path() / joined("dup-bench-work-", ::getpid());
    fs::create_directories(work);

    auto start = Clock::now();
    if (ownRoot || !fs::exists(root)) generate(root, TreeShape{});
    root = fs::canonical(root);
    std::printf("tree %s generated in %.2f s\n", root.c_str(), secondsSince(start));

    // Warm the page cache equally for every side.
    start = Clock::now();
    std::vector<char> buffer(mebibyte);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        }
    }
    std::printf("page cache warmed in %.2f s\n", secondsSince(start));

    StorageDatabase database((work / "ScanCache.sqlite").string());
    start = Clock::now();
    ScanConfiguration configuration;
    configuration.roots = {root.string()};
    configuration.maxConcurrency = 8;
    FileScanner scanner(database, configuration);
    ScanOutcome outcome = scanner.scan(std::nullopt, [] { return FileScanner::VolumeUsage{}; }, nullptr);
    std::printf("scan: %lld files in %.2f s\n", static_cast<long long>(outcome.totals.fileCount), secondsSince(start));

    DuplicateScanner search(database);
    search.options.minimumSize = mebibyte;
    search.options.scope = root.string();
    search.options.excluded = {};
    start = Clock::now();
    auto found = search.findDuplicates(nullptr);
    double ours = secondsSince(start);
    Groups oursGroups;
    for (const auto& group : found) {
        Group paths;
        for (const auto& file : group.files) paths.insert(file.folderPath + "/" + file.name);
        oursGroups.insert(paths);
    }

    start = Clock::now();
    std::string jdupesOutput = run("jdupes -q -r -X size+=:1M '" + root.string() + "' 2>/dev/null");
    double jdupes = secondsSince(start);

    std::string results = (work / "rdfind-results.txt").string();
    start = Clock::now();
    run("rdfind -dryrun true -minsize " + std::to_string(mebibyte) + " -outputname '" + results + "' '"
        + root.string() + "' > /dev/null 2>&1");
    double rdfind = secondsSince(start);

    std::printf("duplicate search: %zu groups in %.3f s\n", found.size(), ours);
    std::printf("jdupes -r:        %.3f s (ours %.2fx)\n", jdupes, ours / jdupes);
    std::printf("rdfind -dryrun:   %.3f s (ours %.2fx)\n", rdfind, ours / rdfind);
    bool same = compare("jdupes", oursGroups, parseJdupes(jdupesOutput));
    same = compare("rdfind", oursGroups, parseRdfind(results)) && same;
    bool fastEnough = ours <= 0.5 * jdupes;
    std::printf("groups %s, time %s\n", same ? "match" : "DIFFER", fastEnough ? "within 0.5x jdupes" : "OVER 0.5x jdupes");

    start = Clock::now();
    fs::remove_all(work);
    if (ownRoot) fs::remove_all(root);
    std::printf("cleaned up in %.2f s\n", secondsSince(start));
    return same && fastEnough ? 0 : 1;
}
