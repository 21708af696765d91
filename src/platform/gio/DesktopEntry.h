#pragma once

#include <optional>
#include <string>

// One application the desktop's launcher shows, as its desktop entry describes it.
struct DesktopEntry {
    std::string id;                         // the desktop file id, "org.example.App.desktop"
    std::string name;                       // in the user's language
    std::string filename;                   // the entry file as found in the data folders
    std::string commandLine;
    std::optional<std::string> executable;  // what the command starts, resolved on PATH
    std::optional<std::string> flatpakID;   // X-Flatpak
    std::optional<std::string> snapName;    // X-SnapInstanceName
    std::optional<std::string> icon;

    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};
