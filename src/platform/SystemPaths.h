#pragma once

#include <string>

// Where the user's things live on this system.
namespace SystemPaths {

// $HOME, or the password database's home folder when HOME is unset.
std::string homeDirectory();

// The folder of all home folders ("/home" here).
std::string homesRoot();

// $XDG_DATA_HOME when it holds an absolute path, else `home`/.local/share.
std::string dataHome(const std::string& home);

// $XDG_CONFIG_HOME when it holds an absolute path, else `home`/.config.
std::string configHome(const std::string& home);

// $XDG_CACHE_HOME when it holds an absolute path, else `home`/.cache.
std::string cacheHome(const std::string& home);

// dataHome(homeDirectory()): the per-user application data folder.
std::string applicationSupportDirectory();

// applicationSupportDirectory()/Kestrelmoor, created with mode 0700 when missing.
// Throws std::system_error when it cannot be created.
std::string kestrelmoorSupportDirectory();

// Absolute path of the running program, "" when it cannot be read.
std::string executablePath();

// A new random version-4 UUID in upper-case canonical text.
std::string randomUUIDString();

} // namespace SystemPaths
