#pragma once

#include "app/system/ProtectedLocation.h"
#include "app/system/StorageSandbox.h"

#include <QUrl>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Tells whether the privacy-guarded places can be read. Keeps no state; the probes
// block on the file system, so callers run them off the main thread.
class PermissionManager {
public:
    static constexpr const char* fullDiskAccessSettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";
    static constexpr const char* filesAndFoldersSettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_FilesAndFolders";

    // The places shown on the storage-access screen: the 13 of macOS, then those a
    // scan covers on the Linux desktop; `home` is joined as plain text.
    static std::vector<ProtectedLocation> locations(const std::string& home);
    // The Linux desktop's places: the home folder and its XDG user folders (as the
    // desktop names them), the Trash, other homes, system data and logs, removable media.
    static std::vector<ProtectedLocation> desktopLocations(const std::string& home, const std::string& userName);

    // True when the first existing macOS probe path could be opened, false when it
    // could not. Without those, as on the Linux desktop: false inside a sandbox,
    // else whether the account's own home folder can be read; nothing when it is missing.
    static std::optional<bool> hasFullDiskAccess(const std::string& home);
    static std::optional<bool> hasFullDiskAccess(const std::string& home, const StorageSandbox& sandbox);

    // Whether a settings link leads anywhere on this system. The macOS System
    // Settings panes do not exist here, so no button should offer them.
    static bool canOpenSettingsURL(const std::string& text);

    // Whether one place can be opened for reading, judged by the place itself
    // (a symbolic link is opened, and so followed, only after its own status).
    static AccessStatus accessStatus(const std::string& path);

    // Hands a valid link that leads somewhere to `open` (the desktop's URL opener);
    // anything else opens nothing.
    static void openSettingsURL(const std::string& text, const std::function<void(const QUrl&)>& open);
};
