#include "app/PermissionManager.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens the place for reading and closes it again. A FIFO or a device must not
// block the probe or become the controlling terminal; nothing is read.
bool canOpen(const std::string& path, const struct stat& status)
{
    if (S_ISDIR(status.st_mode)) {
        DIR* directory = ::opendir(path.c_str());
        if (!directory) return false;
        ::closedir(directory);
        return true;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

} // namespace

std::vector<ProtectedLocation> PermissionManager::locations(const std::string& home)
{
    using Requirement = ProtectedLocation::Requirement;
    const std::string askedOnce = "macOS asks once before Kestrelmoor can read this folder.";
    return {
        {"Applications", "/Applications", Requirement::filePermissions, "Installed apps. Readable by every user."},
        {"Documents", home + "/Documents", Requirement::filesAndFolders, askedOnce},
        {"Desktop", home + "/Desktop", Requirement::filesAndFolders, askedOnce},
        {"Downloads", home + "/Downloads", Requirement::filesAndFolders, askedOnce},
        {"Pictures", home + "/Pictures", Requirement::filePermissions,
         "Your pictures. The Photos library inside needs Full Disk Access to be measured."},
        {"Library", home + "/Library", Requirement::filePermissions,
         "App data and caches. Some sub-folders (Mail, Messages, Safari) need Full Disk Access."},
        {"Mail", home + "/Library/Mail", Requirement::fullDiskAccess,
         "Mail downloads can be large. Needs Full Disk Access."},
        {"Messages", home + "/Library/Messages", Requirement::fullDiskAccess,
         "Message attachments. Needs Full Disk Access."},
        {"Safari", home + "/Library/Safari", Requirement::fullDiskAccess, "Safari data. Needs Full Disk Access."},
        {"Trash", home + "/.Trash", Requirement::fullDiskAccess, "Measuring the Trash needs Full Disk Access."},
        {"iOS Backups", home + "/Library/Application Support/MobileSync", Requirement::fullDiskAccess,
         "iPhone and iPad backups. Needs Full Disk Access."},
        {"System Data", "/private/var/db", Requirement::filePermissions,
         "System databases are readable only by macOS itself. Kestrelmoor reports them as restricted."},
        {"Other Users", "/Users", Requirement::filePermissions,
         "Other accounts' home folders are private to those users."},
    };
}

std::optional<bool> PermissionManager::hasFullDiskAccess(const std::string& home)
{
    const std::string probes[] = {
        home + "/Library/Application Support/com.apple.TCC/TCC.db",
        home + "/Library/Safari/Bookmarks.plist",
        home + "/Library/Safari",
    };
    for (const auto& path : probes) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            if (errno == ENOENT) continue;
            return false;
        }
        return canOpen(path, status);
    }
    return std::nullopt;
}

AccessStatus PermissionManager::accessStatus(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT ? AccessStatus::notFound : AccessStatus::denied;
    return canOpen(path, status) ? AccessStatus::granted : AccessStatus::denied;
}

void PermissionManager::openSettingsURL(const std::string& text, const std::function<void(const QUrl&)>& open)
{
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (text.empty() || !url.isValid() || url.scheme().isEmpty() || !open) return;
    open(url);
}
