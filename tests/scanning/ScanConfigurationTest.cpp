#include "scanning/FileScanner.h"
#include "scanning/ScanConfiguration.h"
#include "scanning/ScanCounters.h"
#include "support/TempDir.h"
#include "ScanTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Answers realpath for made-up roots; two spellings name one folder when they
// share an inode, as on a case-insensitive volume.
class RootsFileSystem : public FileSystem {
public:
    std::optional<std::string> realPath(const std::string& path) const override
    {
        if (const auto found = resolved.find(path); found != resolved.end())
            return found->second;
        return std::nullopt;
    }
    int linkStatus(const std::string& path, FileStatus& status) const override
    {
        const auto found = inodes.find(path);
        if (found == inodes.end())
            return ENOENT;
        status = FileStatus{};
        status.mode = 0040755;
        status.inode = found->second;
        return 0;
    }
    std::map<std::string, std::string> resolved;
    std::map<std::string, std::uint64_t> inodes;
};

} // namespace

TEST(ScanConfiguration, RootsAreResolvedFoldedAndFreedOfOverlaps)
{
    RootsFileSystem fileSystem;
    for (const char* path : {"/", "/Users", "/Users/ann/Documents", "/UsersX", "/opt", "/data", "/Data", "/Data/sub",
                             "/Vol", "/vol", "/vol/x", "/Other/a"})
        fileSystem.resolved[path] = path;
    fileSystem.resolved["/System/Volumes/Data/opt"] = "/System/Volumes/Data/opt";
    fileSystem.resolved["/link"] = "/Users";
    // "/Vol" and "/vol" are one folder; "/data" and "/Data" are two.
    fileSystem.inodes = {{"/Vol", 7}, {"/vol", 7}, {"/data", 1}, {"/Data", 2}, {"/Data/sub", 3}};

    using Roots = std::vector<std::string>;
    struct Case { Roots roots; Roots expected; };
    const Case cases[] = {
        {{"/Users", "/Users/ann/Documents"}, {"/Users"}},
        {{"/Users/ann/Documents", "/Users"}, {"/Users"}},
        {{"/opt", "/", "/Users"}, {"/"}},
        {{"/Users", "/Users", "/link"}, {"/Users"}},
        {{"/Users", "/missing"}, {"/Users"}},
        {{"/Users", "/UsersX"}, {"/Users", "/UsersX"}},
        {{"/System/Volumes/Data/opt", "/opt"}, {"/opt"}},
        {{"/data", "/Data"}, {"/data", "/Data"}},
        {{"/data", "/Data/sub"}, {"/data", "/Data/sub"}},
        {{"/Vol", "/vol"}, {"/Vol"}},
        {{"/vol", "/Vol"}, {"/vol"}},
        {{"/Vol", "/vol/x"}, {"/Vol"}},
    };
    for (const auto& c : cases) {
        const ScanConfiguration configuration{c.roots, {}, 1, "/Users/ann"};
        EXPECT_EQ(configuration.normalizedRoots(fileSystem), c.expected) << c.roots.front() << " " << c.roots.back();
    }
}

TEST(ScanConfiguration, ExclusionsIgnoreLetterCaseAndNeedAWholeComponent)
{
    const auto exclusions = FileScanner::exclusionList({"/Users/Ann/Library/", "/Volumes/Caf\xC3\xA9", "/x/./y/../z"});
    EXPECT_EQ(exclusions, (std::vector<std::string>{"/users/ann/library", "/volumes/caf\xC3\xA9", "/x/z"}));
    struct Case { const char* path; bool excluded; };
    const Case cases[] = {
        {"/Users/ann/Library", true},
        {"/Users/ann/Library/Caches", true},
        {"/Users/ann/LibraryX", false},
        {"/Users/ann", false},
        {"/VOLUMES/CAF\xC3\x89/photos", true},
        {"/Volumes/Cafe\xCC\x81", true},   // the same name with a combining accent
        {"/x/z/w", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileScanner::isExcluded(c.path, exclusions), c.excluded) << c.path;
    EXPECT_TRUE(FileScanner::isExcluded("/anything", FileScanner::exclusionList({"/"})));
    EXPECT_FALSE(FileScanner::isExcluded("/anything", {}));
}
