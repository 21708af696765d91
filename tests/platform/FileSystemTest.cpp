#include "platform/FileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>
#include <sys/stat.h>

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

TEST(FileSystemTest, AFolderIsOpenedInsideItsParentOnlyAsTheItemTheParentListed)
{
    TempDir folder;
    folder.write("top/sub/a.txt", "a");
    folder.write("top/sub/b.txt", "b");
    folder.write("top/plain", "p");
    std::filesystem::create_directory_symlink(folder.file("top/sub"), folder.file("top/link"));
    struct stat sub {};
    ASSERT_EQ(::stat(folder.file("top/sub").c_str(), &sub), 0);

    const FileSystem& fileSystem = FileSystem::standard();
    const auto before = openDescriptors();
    {
        const FolderRead top = fileSystem.readFolder({nullptr, folder.file("top"), true, 0, 0, nullptr}, [](auto, auto&) {});
        ASSERT_EQ(top.failure, 0);
        ASSERT_TRUE(top.handle);
        struct Case {
            const char* name;
            std::uint64_t inode;
            int failure;
            int entries;
        };
        const Case cases[] = {
            {"sub", sub.st_ino, 0, 2},
            {"sub", sub.st_ino + 1, ENOENT, 0},   // another folder moved into its place
            {"link", sub.st_ino, ENOTDIR, 0},     // never followed
            {"plain", 0, ENOTDIR, 0},
            {"missing", 0, ENOENT, 0},
        };
        for (const auto& c : cases) {
            int entries = 0;
            const FolderLocation location{top.handle, folder.file("top/") + c.name, false, sub.st_dev, c.inode, nullptr};
            const FolderRead read = fileSystem.readFolder(location, [&](auto, auto&) { ++entries; });
            EXPECT_EQ(read.failure, c.failure) << c.name;
            EXPECT_EQ(entries, c.entries) << c.name;
            // sub holds files only: nothing will be opened inside it, so it is not kept open.
            EXPECT_EQ(read.handle, nullptr) << c.name;
            if (c.failure == 0) {
                ASSERT_TRUE(read.self) << c.name;
                EXPECT_EQ(read.self->inode, sub.st_ino) << c.name;
            }
            EXPECT_EQ(openDescriptors(), before + 1) << c.name;   // top's
        }
    }
    EXPECT_EQ(openDescriptors(), before);
}
