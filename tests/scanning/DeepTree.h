#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

// A tree deeper than the descriptor limit set for a test and than the system's path length
// limit, built, walked and removed one folder at a time so that neither limit bounds the
// test's own code. Each level holds one file, the next level (named `level`) and `leaves`
// empty folders (at least two), so that most levels have folders waiting while a walk goes
// deeper, whatever the listing order. A long level name passes the path length limit with
// fewer levels, and so with fewer folders to make and remove.
namespace DeepTree {

struct Totals {
    std::int64_t files = 0;
    std::int64_t folders = 0;   // below the top
    std::int64_t allocated = 0;
    friend bool operator==(const Totals&, const Totals&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Totals& t)
{
    return out << t.files << " files, " << t.folders << " folders, " << t.allocated << " bytes";
}

inline void build(const std::string& top, int levels, int leaves, const std::string& level = "dir")
{
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0) << top;
    int folder = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    const std::string contents(3000, 'x');
    for (int made = 0; made < levels; ++made) {
        const int file = ::openat(folder, "file.txt", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(file, 0);
        ASSERT_EQ(::write(file, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
        ::close(file);
        // Made before and after the next level, so that some are listed before it in
        // creation order and in its reverse alike.
        for (int leaf = 0; leaf < leaves; ++leaf) {
            if (leaf == leaves / 2) {
                ASSERT_EQ(::mkdirat(folder, level.c_str(), 0755), 0);
            }
            ASSERT_EQ(::mkdirat(folder, ("leaf" + std::to_string(leaf)).c_str(), 0755), 0);
        }
        if (leaves < 2) {
            ASSERT_EQ(::mkdirat(folder, level.c_str(), 0755), 0);
        }
        const int next = ::openat(folder, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(folder);
        ASSERT_GE(next, 0);
        folder = next;
    }
    ::close(folder);
}

// The shape the scanner's tests use: 300 levels, past a descriptor limit of 128, with 600
// folders waiting beside them, and paths of 6,300 bytes, past the path length limit.
inline constexpr int levels = 300;
inline const std::string longLevel = "level-of-a-deep-tree";

inline void buildPastTheLimits(const std::string& top)
{
    static_assert(levels > 128);
    ASSERT_GT(levels * (longLevel.size() + 1), std::size_t{PATH_MAX});
    build(top, levels, 2, longLevel);
}

namespace detail {

// With the working folder inside the folder to visit: its entries, folders marked.
inline std::vector<std::pair<std::string, bool>> entries()
{
    std::vector<std::pair<std::string, bool>> found;
    DIR* listing = ::opendir(".");
    if (!listing)
        return found;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info {};
        if (::lstat(name.c_str(), &info) == 0)
            found.emplace_back(name, S_ISDIR(info.st_mode));
    }
    ::closedir(listing);
    return found;
}

inline void walkHere(Totals& totals, std::set<std::pair<dev_t, ino_t>>& linked)
{
    for (const auto& [name, isFolder] : entries()) {
        struct stat info {};
        ::lstat(name.c_str(), &info);
        if (isFolder) {
            ++totals.folders;
            if (::chdir(name.c_str()) == 0) {
                walkHere(totals, linked);
                EXPECT_EQ(::chdir(".."), 0);
            }
        } else if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
            ++totals.files;
            if (!S_ISREG(info.st_mode) || info.st_nlink < 2 || linked.insert({info.st_dev, info.st_ino}).second)
                totals.allocated += info.st_blocks * 512;
        }
    }
}

inline void removeHere()
{
    for (const auto& [name, isFolder] : entries()) {
        if (isFolder && ::chdir(name.c_str()) == 0) {
            removeHere();
            EXPECT_EQ(::chdir(".."), 0);
            ::rmdir(name.c_str());
        } else {
            ::unlink(name.c_str());
        }
    }
}

// Runs `body` with the working folder at `top`, then puts the working folder back.
template <class Body>
void inside(const std::string& top, Body&& body)
{
    const int back = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(back, 0);
    if (::chdir(top.c_str()) == 0)
        body();
    EXPECT_EQ(::fchdir(back), 0);
    ::close(back);
}

} // namespace detail

// What the tree holds, walked without the scanner's code.
inline Totals walk(const std::string& top)
{
    Totals totals;
    std::set<std::pair<dev_t, ino_t>> linked;
    detail::inside(top, [&] { detail::walkHere(totals, linked); });
    return totals;
}

inline void remove(const std::string& top)
{
    detail::inside(top, [] { detail::removeHere(); });
    ::rmdir(top.c_str());
}

// Lowers the soft limit on open descriptors for as long as it lives.
class LowDescriptorLimit {
public:
    explicit LowDescriptorLimit(rlim_t soft)
    {
        EXPECT_EQ(::getrlimit(RLIMIT_NOFILE, &saved_), 0);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    }
    ~LowDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    LowDescriptorLimit(const LowDescriptorLimit&) = delete;
    LowDescriptorLimit& operator=(const LowDescriptorLimit&) = delete;

private:
    rlimit saved_ {};
};

} // namespace DeepTree
