#include "scanning/DirectoryReader.h"
#include "scanning/HardLinkTracker.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"
#include "support/ScriptedFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::map<std::string, RawDirectoryEntry> listing(const DirectoryReader& reader, const std::string& path)
{
    std::map<std::string, RawDirectoryEntry> entries;
    const auto failure = reader.read(path, [&](const RawDirectoryEntry& entry) { entries[entry.name] = entry; });
    EXPECT_FALSE(failure) << path;
    return entries;
}

} // namespace

TEST(DirectoryReader, ReportsEntriesAsTheyAreWithoutFollowingLinks)
{
    TempDir dir;
    dir.write("tree/file.txt", 5000);
    dir.makeFolder("tree/sub");
    dir.makeFolder("target");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("tree/to-folder").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/nowhere", dir.file("tree/dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("tree/pipe").c_str(), 0600), 0);

    const DirectoryReader reader;
    const auto entries = listing(reader, dir.file("tree"));
    ASSERT_EQ(entries.size(), 5u);   // "." and ".." never appear
    EXPECT_EQ(entries.at("file.txt").kind, RawDirectoryEntry::Kind::file);
    EXPECT_EQ(entries.at("file.txt").size, 5000);
    struct stat info {};
    ASSERT_EQ(::lstat(dir.file("tree/file.txt").c_str(), &info), 0);
    EXPECT_EQ(entries.at("file.txt").allocatedSize, info.st_blocks * 512);
    EXPECT_EQ(entries.at("file.txt").inode, info.st_ino);
    EXPECT_EQ(entries.at("file.txt").device, info.st_dev);
    EXPECT_EQ(entries.at("file.txt").linkCount, 1u);
    EXPECT_NEAR(entries.at("file.txt").modified, static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9, 1e-6);
    EXPECT_EQ(entries.at("sub").kind, RawDirectoryEntry::Kind::directory);
    EXPECT_EQ(entries.at("to-folder").kind, RawDirectoryEntry::Kind::symlink);
    EXPECT_EQ(entries.at("to-folder").size, static_cast<std::int64_t>(dir.file("target").size()));
    EXPECT_EQ(entries.at("dangling").kind, RawDirectoryEntry::Kind::symlink);
    EXPECT_EQ(entries.at("pipe").kind, RawDirectoryEntry::Kind::other);

    dir.makeFolder("empty");
    EXPECT_TRUE(listing(reader, dir.file("empty")).empty());

    RawDirectoryEntry self;
    ASSERT_FALSE(reader.stat(dir.file("tree/file.txt"), self));
    EXPECT_EQ(self.name, "file.txt");
    EXPECT_TRUE(self.hasValidName);
    ASSERT_FALSE(reader.stat(dir.file("tree/dangling"), self));
    EXPECT_EQ(self.kind, RawDirectoryEntry::Kind::symlink);
}

TEST(DirectoryReader, FailuresAreMappedByCause)
{
    TempDir dir;
    dir.write("plain.txt", "x");
    ScriptedFileSystem fileSystem;
    fileSystem.readFailures[dir.file("refused")] = EACCES;
    fileSystem.readFailures[dir.file("denied")] = EPERM;
    fileSystem.readFailures[dir.file("broken")] = EIO;
    const DirectoryReader reader(fileSystem);
    const auto nothing = [](const RawDirectoryEntry&) { ADD_FAILURE() << "no entry expected"; };

    struct Case { std::string path; DirectoryReadError expected; };
    const Case cases[] = {
        {dir.file("missing"), DirectoryReadError::fromErrno(ENOENT)},
        {dir.file("plain.txt"), DirectoryReadError::fromErrno(ENOTDIR)},
        {dir.file("refused"), DirectoryReadError::fromErrno(EACCES)},
        {dir.file("denied"), DirectoryReadError::fromErrno(EACCES)},
        {dir.file("broken"), DirectoryReadError::fromErrno(EIO)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(reader.read(c.path, nothing), c.expected) << c.path;
    EXPECT_EQ(DirectoryReadError::fromErrno(ENOENT).kind(), DirectoryReadError::Kind::vanished);
    EXPECT_EQ(DirectoryReadError::fromErrno(EPERM).kind(), DirectoryReadError::Kind::accessDenied);
    EXPECT_EQ(DirectoryReadError::fromErrno(EIO).code(), EIO);
    EXPECT_NE(DirectoryReadError::fromErrno(EIO), DirectoryReadError::fromErrno(EROFS));

    RawDirectoryEntry entry;
    EXPECT_EQ(reader.stat(dir.file("missing"), entry), DirectoryReadError::fromErrno(ENOENT));
}

TEST(DirectoryReader, ARealFolderWithoutReadPermissionIsRefused)
{
    if (runAgainUnprivileged()) return;
    TempDir dir;
    const std::string locked = dir.makeFolder("locked");
    ::chmod(locked.c_str(), 0);
    EXPECT_EQ(DirectoryReader().read(locked, [](const RawDirectoryEntry&) { ADD_FAILURE() << "no entry expected"; }),
              DirectoryReadError::fromErrno(EACCES));
}

TEST(DirectoryReader, NamesThatAreNotUtf8AreRepairedAndMarked)
{
    struct Case { std::string bytes; std::string decoded; bool valid; };
    const Case cases[] = {
        {"plain.txt", "plain.txt", true},
        {"caf\xC3\xA9", "caf\xC3\xA9", true},
        {"bad\xFF.txt", "bad\xEF\xBF\xBD.txt", false},
        {"\xC3", "\xEF\xBF\xBD", false},                          // cut-off sequence
        {"\xE2\x82x", "\xEF\xBF\xBDx", false},                    // one mark for the maximal bad prefix
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},   // encoded surrogate
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", false},          // overlong "/"
        {"has\xEF\xBF\xBDmark", "has\xEF\xBF\xBDmark", false},    // a real U+FFFD is not a clean name
    };
    for (const auto& c : cases) {
        bool valid = true;
        EXPECT_EQ(DirectoryReader::decodedName(c.bytes, valid), c.decoded) << c.bytes;
        EXPECT_EQ(valid, c.valid) << c.bytes;
    }

    TempDir dir;
    dir.write("names/bad\xFF.txt", "x");
    const auto entries = listing(DirectoryReader(), dir.file("names"));
    ASSERT_EQ(entries.count("bad\xEF\xBF\xBD.txt"), 1u);
    EXPECT_FALSE(entries.at("bad\xEF\xBF\xBD.txt").hasValidName);
}

// Each list is one folder's repaired names, given in two listing orders; the same names come out.
TEST(DirectoryReader, NamesThatRepeatOnceRepairedBecomeDistinctWhateverTheOrder)
{
    const std::string mark = "\xEF\xBF\xBD";
    struct Item { std::string diskName; std::string expected; };
    struct Case { const char* what; std::vector<Item> items; };
    const Case cases[] = {
        {"two bytes", {{"a\xFF", "a" + mark + " (ff)"}, {"a\xFE", "a" + mark}}},
        {"a real mark keeps its name", {{"a\xFF", "a" + mark + " (ff)"}, {"a" + mark, "a" + mark}}},
        {"no repeat", {{"a\xFF", "a" + mark}, {"b\xFF", "b" + mark}}},
        {"three, several bytes", {{"a\xFF\xFE", "a" + mark + mark + " (ff fe)"}, {"a\xC3\xC3", "a" + mark + mark},
                                  {"a\xFE\xFF", "a" + mark + mark + " (fe ff)"}}},
        {"a suffix already taken", {{"a\xFF", "a" + mark + " (ff) (ff)"}, {"a\xFE", "a" + mark},
                                    {"a" + mark + " (ff)", "a" + mark + " (ff)"}}},
    };
    for (const auto& c : cases) {
        for (const bool reversed : {false, true}) {
            std::vector<Item> items = c.items;
            if (reversed)
                std::reverse(items.begin(), items.end());
            std::vector<std::string> names;
            for (const auto& item : items) {
                bool valid = true;
                names.push_back(DirectoryReader::decodedName(item.diskName, valid));
            }
            std::vector<DirectoryReader::ListedName> listed;
            for (std::size_t i = 0; i < items.size(); ++i)
                listed.push_back({.name = &names[i], .diskName = items[i].diskName});
            DirectoryReader::keepRepairedNamesDistinct(listed);
            for (std::size_t i = 0; i < items.size(); ++i)
                EXPECT_EQ(names[i], items[i].expected) << c.what << (reversed ? " reversed" : "");
        }
    }
}

TEST(HardLinkTracker, OneCarrierWhateverTheOrder)
{
    HardLinkTracker tracker;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            for (std::uint64_t inode = 0; inode < 1000; ++inode)
                tracker.record(7, inode, "/t" + std::to_string((i + inode) % 8));
        });
    for (auto& thread : threads)
        thread.join();
    int carriers = 0;
    for (std::uint64_t inode = 0; inode < 1000; ++inode)
        for (int i = 0; i < 8; ++i)
            carriers += tracker.carriesSize(7, inode, "/t" + std::to_string(i)) ? 1 : 0;
    EXPECT_EQ(carriers, 1000);
    EXPECT_TRUE(tracker.carriesSize(7, 5, "/t0"));
    EXPECT_FALSE(tracker.carriesSize(8, 5, "/t0"));   // same inode on another device is another file

    for (const auto& order : {std::vector<std::string>{"/b/x", "/a/y", "/c/z"}, {"/c/z", "/b/x", "/a/y"}}) {
        HardLinkTracker links;
        for (const auto& path : order)
            links.record(1, 42, path);
        EXPECT_TRUE(links.carriesSize(1, 42, "/a/y"));
        EXPECT_FALSE(links.carriesSize(1, 42, "/b/x"));
        EXPECT_FALSE(links.carriesSize(2, 42, "/a/y"));
    }
}
