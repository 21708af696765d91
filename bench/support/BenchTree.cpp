#include "BenchTree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace BenchTree {
namespace {

// SplitMix64: the same tree on every machine.
struct Random {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

std::string folderName(std::int64_t i)
{
    if (i % 29 == 0)
        return ".cache" + std::to_string(i);
    if (i % 7 == 0)
        return "dossier-\xC3\xA9t\xC3\xA9-" + std::to_string(i);
    if (i % 13 == 0)
        return "\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE-" + std::to_string(i);
    return "d" + std::to_string(i);
}

std::string fileName(std::int64_t j)
{
    static const char* const extensions[] = {".txt", ".jpg", ".c", ".pdf", ".zip", ".mp3", "", ".json"};
    const std::string extension = extensions[j % 8];
    if (j % 17 == 0)
        return ".f" + std::to_string(j) + extension;
    if (j % 11 == 0)
        return "na\xC3\xAFve-" + std::to_string(j) + extension;
    if (j % 23 == 0)
        return "\xE6\x97\xA5\xE6\x9C\xAC-" + std::to_string(j) + ".md";
    return "f" + std::to_string(j) + extension;
}

bool isSymlinkIndex(std::int64_t j) { return j % 50 == 25; }
bool isHardLinkIndex(std::int64_t j) { return j % 100 == 0 && j > 0; }

} // namespace

// Folders in a tree with ten subfolders each; files spread over all folders.
void generate(const std::string& root, std::int64_t files)
{
    const std::int64_t folders = std::max<std::int64_t>(1, files / 10);
    std::vector<std::string> paths(static_cast<size_t>(folders));
    paths[0] = root;
    fs::create_directories(root);
    for (std::int64_t i = 1; i < folders; ++i) {
        paths[static_cast<size_t>(i)] = paths[static_cast<size_t>((i - 1) / 10)] + "/" + folderName(i);
        if (::mkdir(paths[static_cast<size_t>(i)].c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("mkdir " + paths[static_cast<size_t>(i)] + ": " + std::strerror(errno));
    }
    Random random{20261208};
    std::vector<char> buffer(16384, 'k');
    const auto pathOf = [&](std::int64_t j) { return paths[static_cast<size_t>(j % folders)] + "/" + fileName(j); };
    for (std::int64_t j = 0; j < files; ++j) {
        const std::string path = pathOf(j);
        const std::uint64_t roll = random.next();
        if (isSymlinkIndex(j)) {
            const std::string target = (j / 50) % 2 ? std::string("..") : fileName(j - 1);
            if (::symlink(target.c_str(), path.c_str()) != 0 && errno != EEXIST)
                throw std::runtime_error("symlink " + path + ": " + std::strerror(errno));
            continue;
        }
        if (isHardLinkIndex(j)) {
            std::int64_t target = j - 1;
            while (isSymlinkIndex(target) || isHardLinkIndex(target))
                --target;
            if (::link(pathOf(target).c_str(), path.c_str()) != 0 && errno != EEXIST)
                throw std::runtime_error("link " + path + ": " + std::strerror(errno));
            continue;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            throw std::runtime_error("open " + path + ": " + std::strerror(errno));
        // Mostly small files, a few larger ones.
        const size_t size = roll % 64 == 0 ? 16384 : static_cast<size_t>(roll % 4096);
        if (size > 0 && ::write(fd, buffer.data(), size) < 0)
            throw std::runtime_error("write " + path + ": " + std::strerror(errno));
        ::close(fd);
    }
}

void generateChain(const std::string& root, int depth)
{
    const auto fail = [](const std::string& what) {
        throw std::runtime_error(what + ": " + std::strerror(errno));
    };
    if (::mkdir(root.c_str(), 0755) != 0)
        fail("mkdir " + root);
    int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        fail("open " + root);
    const std::string contents(100, 'k');
    for (int level = 0; level < depth; ++level) {
        const int file = ::openat(folder, "file.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (file < 0 || ::write(file, contents.data(), contents.size()) < 0)
            fail("file.txt at level " + std::to_string(level));
        ::close(file);
        if (::mkdirat(folder, "d", 0755) != 0)
            fail("mkdir at level " + std::to_string(level));
        const int next = ::openat(folder, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        if (next < 0)
            fail("open at level " + std::to_string(level));
        folder = next;
    }
    ::close(folder);
}

void generateFlat(const std::string& root, std::int64_t files)
{
    if (::mkdir(root.c_str(), 0755) != 0)
        throw std::runtime_error("mkdir " + root + ": " + std::strerror(errno));
    const int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        throw std::runtime_error("open " + root + ": " + std::strerror(errno));
    for (std::int64_t j = 0; j < files; ++j) {
        const std::string name = fileName(j);
        const int file = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (file >= 0)
            ::close(file);
        if (file < 0) {
            ::close(folder);
            throw std::runtime_error("file " + name + ": " + std::strerror(errno));
        }
    }
    ::close(folder);
}

} // namespace BenchTree
