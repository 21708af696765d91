#pragma once

#include "platform/gio/DesktopEntry.h"

#include <optional>
#include <string>
#include <vector>

// The desktop entries of the XDG data folders, read by the desktop's own reader so
// that Hidden, NoDisplay, OnlyShowIn and NotShowIn mean what the launcher makes of them.
namespace DesktopEntryReader {

// Every entry the launcher shows, in no particular order.
std::vector<DesktopEntry> shownEntries();


// Starts the application of the entry, or activates it when it is single-instance
// and already running. The desktop's message when that fails.
std::optional<std::string> launch(const std::string& id);

// A value of a key file (Flatpak's metadata, for instance).
std::optional<std::string> keyFileValue(const std::string& path, const std::string& group, const std::string& key);

} // namespace DesktopEntryReader
