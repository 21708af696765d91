#include "platform/SystemPaths.h"

#include "platform/Paths.h"
#include "platform/ProcessIdentity.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <random>
#include <string_view>
#include <sys/random.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace SystemPaths {

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return Paths::standardizing(home);
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::string homesRoot()
{
    return "/home";
}

namespace {

std::string xdgFolder(const char* variable, const std::string& home, std::string_view fallback)
{
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return Paths::standardizing(value);
    return Paths::appending(home, fallback);
}

} // namespace

std::string dataHome(const std::string& home)
{
    return xdgFolder("XDG_DATA_HOME", home, ".local/share");
}

std::string configHome(const std::string& home)
{
    return xdgFolder("XDG_CONFIG_HOME", home, ".config");
}

std::string cacheHome(const std::string& home)
{
    return xdgFolder("XDG_CACHE_HOME", home, ".cache");
}

std::string applicationSupportDirectory()
{
    return dataHome(homeDirectory());
}

namespace {

void makeDirectories(const std::string& path, mode_t mode)
{
    if (path.empty() || path == "/")
        return;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode))
            throw std::system_error(ENOTDIR, std::generic_category(), path);
        return;
    }
    makeDirectories(Paths::deletingLastComponent(path), 0700);
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
        throw std::system_error(errno, std::generic_category(), path);
}

} // namespace

std::string kestrelmoorSupportDirectory()
{
    const std::string folder = Paths::appending(applicationSupportDirectory(), "Kestrelmoor");
    makeDirectories(folder, 0700);
    return folder;
}

std::string executablePath()
{
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return "";
    // After an upgrade replaced the running binary, the link names the new file's path plus a marker.
    return ProcessIdentity::withoutDeletedMarker(std::string(buffer, static_cast<size_t>(length)));
}

std::string randomUUIDString()
{
    unsigned char bytes[16];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        std::random_device device;
        for (auto& byte : bytes)
            byte = static_cast<unsigned char>(device());
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                  bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

} // namespace SystemPaths
