#include "analysis/CancellationError.h"
#include "analysis/DuplicateScanner.h"
#include "support/FileItems.h"
#include "support/ScannedTree.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>

namespace {

constexpr int N = 65'536;

std::string pattern(std::size_t size, unsigned seed)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 31 + seed * 7 + i / 251) & 0xff);
    return text;
}

// The index record of a file as a scan would have stored it.
FileItem itemFor(const std::string& path, std::int64_t id)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return fileAt(path, {.id = id,
                         .size = info.st_size,
                         .modified = static_cast<double>(info.st_mtim.tv_sec) +
                                     static_cast<double>(info.st_mtim.tv_nsec) / 1e9});
}

void setModified(const std::string& path, double seconds)
{
    timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>((seconds - static_cast<double>(times[1].tv_sec)) * 1e9);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

std::vector<std::vector<std::int64_t>> idsOf(const std::vector<DuplicateGroup>& groups)
{
    std::vector<std::vector<std::int64_t>> result;
    for (const auto& g : groups) {
        std::vector<std::int64_t> ids;
        for (const auto& f : g.files) ids.push_back(f.id);
        std::sort(ids.begin(), ids.end());
        result.push_back(ids);
    }
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace

TEST(DuplicateScanner, OnlyIdenticalContentGroupsAndKeyFormsFollowTheSize)
{
    TempDir dir;
    const std::string small = pattern(100'000, 1);
    const std::string large = pattern(200'000, 2);
    std::string middle = large;
    middle[100'000] ^= 0x55;  // same first and last 64 KiB, different middle
    std::string tail = large;
    tail[199'999] ^= 0x55;

    struct Case {
        const char* name;
        std::string a, b;
        std::size_t groups;
        char keyStart;  // 'p' for a partial key, else a hex digit of a full digest
    } cases[] = {
        {"small identical", small, small, 1, 'p'},
        {"large identical", large, large, 1, 'h'},
        {"differs only in the middle", large, middle, 0, 0},
        {"differs only in the last byte", large, tail, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<FileItem> files{itemFor(dir.write(std::string(c.name) + "/a.bin", c.a), 1),
                                    itemFor(dir.write(std::string(c.name) + "/b.bin", c.b), 2)};
        std::int64_t hashed = 0;
        auto groups = DuplicateScanner::confirm(files, N, [&](std::int64_t n) { hashed += n; });
        ASSERT_EQ(groups.size(), c.groups);
        if (c.groups == 0) continue;
        const auto& g = groups.front();
        EXPECT_EQ(g.size, static_cast<std::int64_t>(c.a.size()));
        EXPECT_EQ(g.files.size(), 2u);
        if (c.keyStart == 'p') {
            EXPECT_EQ(g.hash, "p" + *DuplicateScanner::partialHash(files[0].folderPath + "/a.bin", g.size, N));
            EXPECT_EQ(hashed, 2 * 100'000);  // no full hash for files the partial hash covers
        } else {
            EXPECT_EQ(g.hash.size(), 64u);
            EXPECT_EQ(g.hash, *DuplicateScanner::fullHash(files[0].folderPath + "/a.bin"));
            EXPECT_EQ(hashed, 2 * 2 * N + 2 * 200'000);
        }
    }
}

TEST(DuplicateScanner, HashesMatchKnownDigests)
{
    TempDir dir;
    const std::string abc = dir.write("abc.txt", "abc");
    EXPECT_EQ(DuplicateScanner::fullHash(abc), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string empty = dir.write("empty.txt", "");
    EXPECT_EQ(DuplicateScanner::fullHash(empty), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(DuplicateScanner::fullHash(dir.file("missing")), std::nullopt);
    EXPECT_EQ(DuplicateScanner::partialHash(dir.file("missing"), 3, N), std::nullopt);
    // Something other than a regular file is never read: a FIFO with no writer would block for good.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_EQ(DuplicateScanner::fullHash(dir.file("pipe")), std::nullopt);
    EXPECT_EQ(DuplicateScanner::partialHash(dir.file("pipe"), 3, N), std::nullopt);
    // The size takes part in the partial hash, so a file read as longer than it is differs.
    EXPECT_NE(DuplicateScanner::partialHash(abc, 3, N), DuplicateScanner::partialHash(abc, 4, N));
}

TEST(DuplicateScanner, DropsFilesThatChangedSinceTheScan)
{
    TempDir dir;
    const std::string body = pattern(120'000, 3);
    auto make = [&](const std::string& name) { return dir.write(name, body); };
    const std::string keep1 = make("keep1.dat"), keep2 = make("keep2.dat");
    const std::string exactlyOne = make("exact.dat"), tooFar = make("far.dat"), resized = make("resized.dat");
    const std::string becameLink = make("link.dat"), becameFolder = make("folder.dat"), gone = make("gone.dat");

    std::vector<FileItem> files;
    std::int64_t id = 1;
    for (const auto& path : {keep1, keep2, exactlyOne, tooFar, resized, becameLink, becameFolder, gone})
        files.push_back(itemFor(path, id++));

    setModified(exactlyOne, *files[2].modified + 1.0);
    setModified(tooFar, *files[3].modified + 1.5);
    dir.write("resized.dat", body + "x");
    std::filesystem::remove(becameLink);
    std::filesystem::create_symlink(keep1, becameLink);
    std::filesystem::remove(becameFolder);
    std::filesystem::create_directory(becameFolder);
    std::filesystem::remove(gone);

    auto groups = DuplicateScanner::confirm(files, N, nullptr);
    EXPECT_EQ(idsOf(groups), (std::vector<std::vector<std::int64_t>>{{1, 2, 3}}));
}

TEST(DuplicateScanner, OneFileUnderTwoNamesIsNeverItsOwnCopy)
{
    TempDir dir;
    const std::string body = pattern(300'000, 4);
    const std::string original = dir.write("a/movie.mkv", body);
    const std::string twin = dir.file("b/movie.mkv");
    std::filesystem::create_directories(dir.file("b"));
    std::filesystem::create_hard_link(original, twin);
    const std::string copy = dir.write("c/movie.mkv", body);

    // The index may hold 0 as the inode of any of them; the disk still knows they are one file.
    auto twinOnly = DuplicateScanner::confirm({itemFor(original, 1), itemFor(twin, 2)}, N, nullptr);
    EXPECT_TRUE(twinOnly.empty());

    auto withCopy = DuplicateScanner::confirm({itemFor(original, 1), itemFor(twin, 2), itemFor(copy, 3)}, N, nullptr);
    EXPECT_EQ(idsOf(withCopy), (std::vector<std::vector<std::int64_t>>{{1, 3}}));
}

TEST(DuplicateScanner, GroupsListOldestFirstAndUndatedBeforeAll)
{
    TempDir dir;
    const std::string body = pattern(50'000, 5);
    std::vector<FileItem> files{itemFor(dir.write("new.txt", body), 1), itemFor(dir.write("undated.txt", body), 2),
                                itemFor(dir.write("old.txt", body), 3)};
    setModified(files[2].folderPath + "/old.txt", 1'000'000'000.0);
    files[2].modified = 1'000'000'000.0;
    files[1].modified.reset();

    auto groups = DuplicateScanner::confirm(files, N, nullptr);
    ASSERT_EQ(groups.size(), 1u);
    std::vector<std::int64_t> order;
    for (const auto& f : groups[0].files) order.push_back(f.id);
    EXPECT_EQ(order, (std::vector<std::int64_t>{2, 3, 1}));
}

TEST(DuplicateScanner, CancellationStopsBeforeTheNextFile)
{
    TempDir dir;
    std::vector<FileItem> files{itemFor(dir.write("a", "same"), 1), itemFor(dir.write("b", "same"), 2)};
    std::stop_source source;
    source.request_stop();
    EXPECT_THROW(DuplicateScanner::confirm(files, N, nullptr, source.get_token()), CancellationError);
    EXPECT_EQ(DuplicateScanner::fullHash(files[0].folderPath + "/a", source.get_token()), std::nullopt);
}

namespace {

struct Report {
    std::string stagePrefix;
    int checked, total, groups;
    friend bool operator==(const Report&, const Report&) = default;
};

std::vector<Report> condensed(const std::vector<DuplicateScanProgress>& reports)
{
    std::vector<Report> result;
    for (const auto& r : reports) result.push_back({r.stage.substr(0, 9), r.candidatesChecked, r.candidatesTotal, r.groupsFound});
    return result;
}

std::vector<std::vector<std::string>> pathsOf(const std::vector<DuplicateGroup>& groups)
{
    std::vector<std::vector<std::string>> result;
    for (const auto& g : groups) {
        std::vector<std::string> paths;
        for (const auto& f : g.files) paths.push_back(f.folderPath + "/" + f.name);
        std::sort(paths.begin(), paths.end());
        result.push_back(paths);
    }
    return result;
}

} // namespace

TEST(DuplicateScanner, FindsOnlyTrueCopiesInTheScannedTree)
{
    TempDir tree;
    ScannedTree index;
    const std::string root = tree.path();
    const std::string mb1 = pattern(1'000'000, 10), mb15 = pattern(1'500'000, 11), mb12 = pattern(1'200'000, 12);

    tree.write("a/one.bin", mb1);                          // three copies of 1 MB: 2 MB reclaimable
    tree.write("b/one.bin", mb1);
    tree.write("c/one.bin", mb1);
    tree.write("a/half.iso", mb15);                        // two of 1.5 MB: 1.5 MB reclaimable
    tree.write("b/half.iso", mb15);
    tree.write("c/half.img", mb15);                        // same content, other extension: a group of its own
    tree.write("d/half.img", mb15);
    std::filesystem::create_directories(tree.file("e"));
    std::filesystem::create_hard_link(tree.file("a/one.bin"), tree.file("e/one.bin"));  // not a copy
    std::string alike = mb12;                              // same size and first block, later bytes differ
    alike[700'000] ^= 1;
    tree.write("a/alike.dat", mb12);
    tree.write("b/alike.dat", alike);
    tree.write("a/small.txt", "tiny");                     // below the minimum size
    tree.write("b/small.txt", "tiny");
    tree.write("skip/one.bin", mb1);                       // in an excluded folder
    std::filesystem::create_symlink(tree.file("a/half.iso"), tree.file("d/half.iso"));
    // Copies are listed oldest first; files written one after another can share a
    // coarse timestamp, so give the copies of one.bin distinct ages.
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(tree.file("a/one.bin"), now - std::chrono::seconds(30));
    std::filesystem::last_write_time(tree.file("b/one.bin"), now - std::chrono::seconds(20));
    std::filesystem::last_write_time(tree.file("c/one.bin"), now - std::chrono::seconds(10));

    index.scan({root});
    DuplicateScanner scanner(index.database);
    scanner.options.scope = root;
    scanner.options.excluded = {root + "/skip"};
    std::vector<DuplicateScanProgress> reports;
    auto groups = scanner.findDuplicates([&](const DuplicateScanProgress& p) { reports.push_back(p); });

    ASSERT_EQ(groups.size(), 3u);
    auto paths = pathsOf(groups);
    // The three 1 MB copies: b, c and one name of the hard-linked file, whichever the
    // scan listed first (a/ and e/ are one file, never offered as its own copy).
    const std::vector<std::string> viaA{root + "/a/one.bin", root + "/b/one.bin", root + "/c/one.bin"};
    const std::vector<std::string> viaE{root + "/b/one.bin", root + "/c/one.bin", root + "/e/one.bin"};
    EXPECT_TRUE(paths[0] == viaA || paths[0] == viaE) << ::testing::PrintToString(paths[0]);
    EXPECT_EQ(groups[1].hash, groups[2].hash);
    EXPECT_EQ(std::set<std::vector<std::string>>(paths.begin() + 1, paths.end()),
              (std::set<std::vector<std::string>>{{root + "/a/half.iso", root + "/b/half.iso"},
                                                  {root + "/c/half.img", root + "/d/half.img"}}));
    EXPECT_EQ(groups[1].hash, *DuplicateScanner::fullHash(root + "/a/half.iso"));

    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), (DuplicateScanProgress{"Finding files with identical sizes\u2026", 0, 0, 0, 0}));
    EXPECT_EQ(reports.back().stage, "Done");
    EXPECT_EQ(reports.back().candidatesChecked, 3);  // 1.5 MB, 1.2 MB and 1 MB
    EXPECT_EQ(reports.back().groupsFound, 3);
    EXPECT_GT(reports.back().bytesHashed, 0);
}

TEST(DuplicateScanner, ComparesTheTypeATrailingVersionLeavesAlone)
{
    // A library copied with its version links followed: the same shared library under two
    // version suffixes; a program's version is no type either.
    TempDir tree;
    ScannedTree index;
    const std::string lib = pattern(1'100'000, 13), program = pattern(1'300'000, 14);
    tree.write("a/libx.so.6", lib);
    tree.write("b/libx.so.6.4.2", lib);
    tree.write("a/python3.11", program);
    tree.write("b/python3.12", program);
    index.scan({tree.path()});
    DuplicateScanner scanner(index.database);
    scanner.options.scope = tree.path();

    std::set<std::set<std::string>> groups;
    for (const auto& group : pathsOf(scanner.findDuplicates([](const DuplicateScanProgress&) {})))
        groups.emplace(group.begin(), group.end());
    EXPECT_EQ(groups, (std::set<std::set<std::string>>{{tree.file("a/python3.11"), tree.file("b/python3.12")},
                                                       {tree.file("a/libx.so.6"), tree.file("b/libx.so.6.4.2")}}));
}

TEST(DuplicateScanner, ReportsEveryTenthSizeAndEndsWithDone)
{
    TempDir tree;
    ScannedTree index;
    for (int i = 0; i < 25; ++i) {
        tree.write("x/f" + std::to_string(i) + ".txt", pattern(2000 + static_cast<std::size_t>(i), i));
        tree.write("y/f" + std::to_string(i) + ".txt", pattern(2000 + static_cast<std::size_t>(i), i));
    }
    index.scan({tree.path()});
    DuplicateScanner scanner(index.database);
    scanner.options.minimumSize = 1;
    scanner.options.scope = tree.path();
    scanner.options.excluded = {};

    std::vector<DuplicateScanProgress> reports;
    auto groups = scanner.findDuplicates([&](const DuplicateScanProgress& p) { reports.push_back(p); });
    EXPECT_EQ(groups.size(), 25u);
    EXPECT_EQ(condensed(reports), (std::vector<Report>{{"Finding f", 0, 0, 0},
                                                       {"Comparing", 10, 25, 9},
                                                       {"Comparing", 20, 25, 19},
                                                       {"Done", 25, 25, 25}}));
    EXPECT_EQ(reports[1].stage, "Comparing 2.02 KB files\u2026");  // the tenth largest size, 2015 bytes

    // Nothing shared: one start report, one empty "Done".
    scanner.options.scope = tree.path() + "/x";
    reports.clear();
    EXPECT_TRUE(scanner.findDuplicates([&](const DuplicateScanProgress& p) { reports.push_back(p); }).empty());
    EXPECT_EQ(condensed(reports), (std::vector<Report>{{"Finding f", 0, 0, 0}, {"Done", 0, 0, 0}}));
}

TEST(DuplicateScanner, CancellationEndsTheSearchWithoutFurtherReports)
{
    TempDir tree;
    ScannedTree index;
    for (int i = 0; i < 12; ++i) {
        tree.write("x/f" + std::to_string(i), pattern(3000 + static_cast<std::size_t>(i), i));
        tree.write("y/f" + std::to_string(i), pattern(3000 + static_cast<std::size_t>(i), i));
    }
    index.scan({tree.path()});
    DuplicateScanner scanner(index.database);
    scanner.options.minimumSize = 1;
    scanner.options.scope = tree.path();

    std::stop_source source;
    std::vector<DuplicateScanProgress> reports;
    auto cancelAtTenth = [&](const DuplicateScanProgress& p) {
        reports.push_back(p);
        if (p.candidatesChecked == 10) source.request_stop();
    };
    EXPECT_THROW(scanner.findDuplicates(cancelAtTenth, source.get_token()), CancellationError);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports.back().candidatesChecked, 10);
}

TEST(DuplicateScanner, DefaultsLeaveOutFilesAlreadyInTheTrash)
{
    struct Case {
        const char* dataHome;  // XDG_DATA_HOME, "~" standing for the home; null: unset
        const char* trash;
    };
    const Case cases[] = {
        {nullptr, ".local/share/Trash"},
        {"~/data", "data/Trash"},
        {"~/data/", "data/Trash"},
        {"data", ".local/share/Trash"},   // a relative value is ignored, as the desktop ignores it
    };
    const std::string copy = pattern(1'100'000, 20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dataHome ? c.dataHome : "unset");
        TempDir tree;
        const std::string home = tree.path();
        tree.write("docs/a.bin", copy);
        tree.write("docs/b.bin", copy);
        tree.write(".Trash/a.bin", copy);
        tree.write(std::string(c.trash) + "/files/a.bin", copy);
        tree.write("Library/a.bin", copy);
        // The copies apps keep in their config and cache folders are no duplicates to offer either.
        tree.write(".config/app/a.bin", copy);
        tree.write(".cache/app/a.bin", copy);
        ScopedEnvironment homeVariable("HOME", home);
        ScopedEnvironment configVariable("XDG_CONFIG_HOME", "");
        ScopedEnvironment cacheVariable("XDG_CACHE_HOME", "");
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_CACHE_HOME");
        std::string dataHome = c.dataHome ? c.dataHome : "";
        if (dataHome.rfind("~", 0) == 0) dataHome.replace(0, 1, home);
        ScopedEnvironment dataVariable("XDG_DATA_HOME", dataHome);
        if (!c.dataHome) ::unsetenv("XDG_DATA_HOME");

        ScannedTree index;
        index.scan({home});
        DuplicateScanner scanner(index.database);
        const std::string trash = home + "/" + c.trash;
        EXPECT_EQ(scanner.options.excluded,
                  (std::vector<std::string>{home + "/Library", trash.substr(0, trash.size() - 6), home + "/.config",
                                            home + "/.cache", home + "/.Trash", trash}));
        const auto groups = scanner.findDuplicates({});
        ASSERT_EQ(groups.size(), 1u);
        EXPECT_EQ(pathsOf(groups).front(), (std::vector<std::string>{home + "/docs/a.bin", home + "/docs/b.bin"}));
    }
}
