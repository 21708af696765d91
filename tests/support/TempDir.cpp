#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

TempDir::TempDir() : TempDir(fs::temp_directory_path().string()) {}

TempDir::TempDir(const std::string& base)
{
    std::string pattern = (fs::path(base) / "kestrel-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = fs::canonical(pattern).string();
}

TempDir::~TempDir()
{
    std::error_code error;
    // Tests may make folders unreadable; give permissions back before removing.
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path_, error);
}

std::string TempDir::file(std::string_view relative) const
{
    return (fs::path(path_) / relative).string();
}

std::string TempDir::write(std::string_view relative, std::string_view contents) const
{
    const fs::path target = fs::path(path_) / relative;
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    return target.string();
}

std::string TempDir::write(std::string_view relative, size_t size, char fill) const
{
    return write(relative, std::string(size, fill));
}

std::string TempDir::makeFolder(std::string_view relative) const
{
    const fs::path target = fs::path(path_) / relative;
    fs::create_directories(target);
    return target.string();
}
