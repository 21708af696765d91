#include "platform/DescriptorBudget.h"
#include "platform/DescriptorLimit.h"
#include "platform/FileSystem.h"
#include "platform/FolderHandle.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::ptrdiff_t openDescriptors()
{
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

std::uint64_t inodeOf(int descriptor)
{
    struct stat info {};
    EXPECT_EQ(::fstat(descriptor, &info), 0);
    return info.st_ino;
}

std::uint64_t inodeOf(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0);
    return info.st_ino;
}

// The handles of a chain of folders top/l1/.../l<depth>, each opened inside the one above.
std::vector<std::shared_ptr<const FolderHandle>> openChain(const std::string& top, int depth,
                                                           std::shared_ptr<DescriptorBudget> budget)
{
    const FileSystem& fileSystem = FileSystem::standard();
    std::vector<std::shared_ptr<const FolderHandle>> chain;
    FolderRead read = fileSystem.readFolder({nullptr, top, false, 0, 0, budget}, [](auto, auto&) {});
    EXPECT_EQ(read.failure, 0);
    chain.push_back(read.handle);
    std::string path = top;
    for (int level = 1; level <= depth; ++level) {
        path += "/l" + std::to_string(level);
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0);
        read = fileSystem.readFolder({chain.back(), path, false, info.st_dev, info.st_ino, nullptr}, [](auto, auto&) {});
        EXPECT_EQ(read.failure, 0) << path;
        chain.push_back(read.handle);
    }
    return chain;
}

// Makes the folders top/l1/.../l<depth>/below; returns the paths of all but below, top first.
std::vector<std::string> makeChain(const std::string& top, int depth)
{
    std::vector<std::string> paths{top};
    for (int level = 1; level <= depth; ++level)
        paths.push_back(paths.back() + "/l" + std::to_string(level));
    // The last one holds a folder too, so that every one of them is kept open by its read.
    fs::create_directories(paths.back() + "/below");
    return paths;
}

} // namespace

TEST(FolderHandle, ABudgetKeepsFewOpenAndEveryHandleStillReachesItsFolder)
{
    TempDir dir;
    const std::vector<std::string> paths = makeChain(dir.file("top"), 6);
    const auto before = openDescriptors();
    {
        const auto budget = std::make_shared<DescriptorBudget>(2);
        const auto chain = openChain(paths[0], 6, budget);
        EXPECT_EQ(budget->openCount(), 2u);
        EXPECT_EQ(openDescriptors(), before + 2);
        // In any order of use, each is opened again where needed, from its nearest open ancestor.
        for (const std::size_t level : {0u, 6u, 3u, 5u, 1u, 4u, 2u, 6u}) {
            const FolderHandle::Use use(*chain[level]);
            ASSERT_GE(use.descriptor(), 0) << level;
            EXPECT_EQ(inodeOf(use.descriptor()), inodeOf(paths[level])) << level;
            EXPECT_LE(budget->openCount(), 2u) << level;
        }
        EXPECT_LE(budget->peakOpenCount(), 2u);
        budget->shed();
        EXPECT_EQ(budget->openCount(), 0u);
        EXPECT_EQ(openDescriptors(), before);
        {
            const FolderHandle::Use use(*chain[4]);
            EXPECT_EQ(inodeOf(use.descriptor()), inodeOf(paths[4]));
        }
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(FolderHandle, AFolderReplacedOnTheWayIsNotReopened)
{
    struct Case {
        const char* what;
        int replaced;   // level renamed away and made anew
        bool asLink;    // the new item is a link to the old folder
        int failure;
    };
    const Case cases[] = {
        {"the folder itself replaced", 3, false, ENOENT},
        {"an ancestor replaced", 1, false, ENOENT},
        {"an ancestor swapped for a link to it", 2, true, ENOTDIR},
        {"the starting folder replaced", 0, false, ENOENT},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::vector<std::string> paths = makeChain(dir.file("top"), 3);
        const auto budget = std::make_shared<DescriptorBudget>(1);
        const auto chain = openChain(paths[0], 3, budget);
        budget->shed();
        const std::string& moved = paths[static_cast<std::size_t>(c.replaced)];
        fs::rename(moved, moved + "-old");
        if (c.asLink)
            fs::create_directory_symlink(moved + "-old", moved);
        else
            fs::create_directories(paths.back());   // the same names, other folders
        const FolderHandle::Use use(*chain[3]);
        EXPECT_EQ(use.descriptor(), -1) << c.what;
        EXPECT_EQ(use.failure(), c.failure) << c.what;
    }
}

TEST(DescriptorLimit, TheSoftLimitIsRaisedToTheHardLimit)
{
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    EXPECT_EQ(DescriptorLimit::current(), 256u);
    EXPECT_EQ(DescriptorLimit::folderBudget(4, 16, 4096), 64u);
    EXPECT_EQ(DescriptorLimit::folderBudget(64, 16, 4096), 16u);
    EXPECT_EQ(DescriptorLimit::folderBudget(1, 16, 100), 100u);
    EXPECT_EQ(DescriptorLimit::raiseToHardLimit(), saved.rlim_max);
    rlimit raised {};
    ::getrlimit(RLIMIT_NOFILE, &raised);
    EXPECT_EQ(raised.rlim_cur, saved.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(FolderHandle, KnowsHowFarUpTheWalkAFolderLies)
{
    TempDir dir;
    const auto paths = makeChain(dir.file("top"), 3);
    fs::create_directory(dir.file("top/l1/beside"));
    const auto chain = openChain(paths[0], 3, nullptr);
    struct stat info {};
    for (int level = 0; level <= 3; ++level) {
        ASSERT_EQ(::lstat(paths[level].c_str(), &info), 0);
        EXPECT_EQ(chain[3]->stepsUpTo(info.st_dev, info.st_ino), 3 - level) << paths[level];
        // Nothing below a folder is among its ancestors.
        if (level > 0) {
            EXPECT_EQ(chain[level - 1]->stepsUpTo(info.st_dev, info.st_ino), std::nullopt) << paths[level];
        }
    }
    ASSERT_EQ(::lstat(dir.file("top/l1/beside").c_str(), &info), 0);
    EXPECT_EQ(chain[3]->stepsUpTo(info.st_dev, info.st_ino), std::nullopt);
    // An inode number is the same folder only on the same device.
    ASSERT_EQ(::lstat(paths[1].c_str(), &info), 0);
    EXPECT_EQ(chain[3]->stepsUpTo(info.st_dev + 1, info.st_ino), std::nullopt);
}
