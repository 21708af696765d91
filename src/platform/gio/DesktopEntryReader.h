#pragma once

#include "platform/gio/DesktopEntry.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The desktop entries of the XDG data folders. The folders are walked here, each entry file
// read once and only when it is a regular file; the desktop's own parser then decides, so
// that Hidden, NoDisplay, OnlyShowIn and NotShowIn mean what the launcher makes of them.
namespace DesktopEntryReader {

// Larger than any real entry; what is larger is not one.
inline constexpr std::size_t maxEntryBytes = 4 * 1024 * 1024;
// Subfolders of an applications folder below this depth are not entered.
inline constexpr int maxFolderDepth = 8;

// One entry file: its desktop file id ("vendor-app.desktop" for vendor/app.desktop) and path.
struct EntryFile {
    std::string id;
    std::string path;
    friend bool operator==(const EntryFile&, const EntryFile&) = default;
};

// The entry files that count, in the order of the data folders ($XDG_DATA_HOME first): an id
// met again in a later folder is hidden by the first, a file reached twice (through a link
// to it or to a folder above) appears once.
std::vector<EntryFile> entryFiles();

// Every entry the launcher shows, in the order of entryFiles().
std::vector<DesktopEntry> shownEntries();


// Starts the application of the entry, or activates it when it is single-instance
// and already running. The desktop's message when that fails.
std::optional<std::string> launch(const std::string& id);

// A value of a key file (Flatpak's metadata, for instance).
std::optional<std::string> keyFileValue(const std::string& path, const std::string& group, const std::string& key);

} // namespace DesktopEntryReader
