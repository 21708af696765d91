#include "platform/FileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>

namespace {

std::ptrdiff_t openDescriptors()
{
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
}

} // namespace

TEST(FileSystemTest, AFolderIsClosedEvenWhenItsVisitorThrows)
{
    TempDir folder;
    folder.write("a.txt", "a");
    folder.write("b.txt", "b");
    const FileSystem& fileSystem = FileSystem::standard();
    const auto before = openDescriptors();
    for (int round = 0; round < 20; ++round) {
        EXPECT_THROW(fileSystem.readDirectory(folder.path(), [](std::string_view, const FileStatus&) {
            throw std::bad_alloc();
        }),
                     std::bad_alloc);
        int seen = 0;
        EXPECT_THROW(fileSystem.readDirectory(folder.path(), [&](std::string_view, const FileStatus&) {
            if (++seen == 2)
                throw std::runtime_error("second entry");
        }),
                     std::runtime_error);
    }
    EXPECT_EQ(openDescriptors(), before);
}
