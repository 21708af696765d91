#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

// A file of `size` bytes at `path` (its folders made), its blocks taken on the disk but never
// written, so that tens of megabytes cost no time; its bytes read as zeros. Returns `path`.
inline std::string reserveFile(const std::string& path, std::int64_t size)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0) << path;
    if (size > 0) {
        EXPECT_EQ(::posix_fallocate(fd, 0, static_cast<off_t>(size)), 0) << path;
    }
    ::close(fd);
    return path;
}
