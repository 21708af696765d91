#pragma once

#include "app/ProtectedLocation.h"

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

    // The 13 places shown on the storage-access screen; `home` is joined as plain text.
    static std::vector<ProtectedLocation> locations(const std::string& home);

    // True when the first existing probe path could be opened, false when it could
    // not, nothing when none of them exists.
    static std::optional<bool> hasFullDiskAccess(const std::string& home);

    // Whether one place can be opened for reading, judged by the place itself
    // (a symbolic link is opened, and so followed, only after its own status).
    static AccessStatus accessStatus(const std::string& path);

    // Hands a valid link to `open` (the desktop's URL opener); anything else opens nothing.
    static void openSettingsURL(const std::string& text, const std::function<void(const QUrl&)>& open);
};
