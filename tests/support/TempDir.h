#pragma once

#include <string>
#include <string_view>

// A temporary folder removed with everything in it when the value goes away.
class TempDir {
public:
    TempDir();
    // Creates the folder inside `base` instead of the system's temporary folder.
    explicit TempDir(const std::string& base);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view relative) const;

    // Writes a file (creating its folders) with `size` bytes of `fill`, or `contents`.
    std::string write(std::string_view relative, std::string_view contents) const;
    std::string write(std::string_view relative, size_t size, char fill = 'x') const;
    std::string makeFolder(std::string_view relative) const;

private:
    std::string path_;
};
