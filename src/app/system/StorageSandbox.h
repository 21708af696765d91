#pragma once

#include <string>

// Whether the program runs inside a Flatpak or snap sandbox, which limits what a
// scan can read whatever the file permissions say, and the command that widens it.
struct StorageSandbox {
    enum class Kind { none, flatpak, snap };

    Kind kind = Kind::none;
    std::string name;          // the Flatpak application id or the snap name
    std::string widenCommand;  // shown as text to copy; nothing runs it

    friend bool operator==(const StorageSandbox&, const StorageSandbox&) = default;

    // Flatpak leaves /.flatpak-info in every sandbox (`root` stands in for "/"); snapd sets SNAP_NAME.
    static StorageSandbox detect(const std::string& root = "");
};
