#include "app/PermissionManager.h"

#include "platform/Accounts.h"
#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/TrashFolders.h"

#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens the place for reading and closes it again; nothing is read. A FIFO or a device is
// never opened, since that could block the probe or act on the device: what the account
// may read of it answers.
bool canOpen(const std::string& path)
{
    if (DIR* directory = ::opendir(path.c_str())) {
        ::closedir(directory);
        return true;
    }
    if (errno != ENOTDIR) return false;
    const int fd = RegularFile::openForReading(path);
    if (fd < 0) return errno == EINVAL && ::access(path.c_str(), R_OK) == 0;
    ::close(fd);
    return true;
}

} // namespace

std::vector<ProtectedLocation> PermissionManager::locations(const std::string& home)
{
    using Requirement = ProtectedLocation::Requirement;
    const std::string askedOnce = "macOS asks once before Kestrelmoor can read this folder.";
    std::vector<ProtectedLocation> rows = {
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
    // A place already in the table (~/Documents, say) is listed once, and what it says is
    // what holds for it here, not on macOS.
    for (auto& row : desktopLocations(home, Accounts::userName(::getuid()).value_or(""))) {
        const auto known = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.path == row.path; });
        if (known == rows.end()) {
            rows.push_back(std::move(row));
            continue;
        }
        known->requirement = row.requirement;
        known->explanation = std::move(row.explanation);
    }
    return rows;
}

std::vector<ProtectedLocation> PermissionManager::desktopLocations(const std::string& home, const std::string& userName)
{
    using Requirement = ProtectedLocation::Requirement;
    std::vector<ProtectedLocation> rows = {
        {"Home", home, Requirement::filePermissions, "Your home folder. Kestrelmoor measures what your account can read."},
    };
    const QStandardPaths::StandardLocation userFolders[] = {
        QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation, QStandardPaths::DownloadLocation,
        QStandardPaths::MusicLocation,   QStandardPaths::PicturesLocation,  QStandardPaths::MoviesLocation,
    };
    for (const auto folder : userFolders) {
        const std::string path = QStandardPaths::writableLocation(folder).toStdString();
        // An unset user folder is the home folder itself.
        if (path.empty() || path == home) continue;
        rows.push_back({Paths::lastComponent(path), path, Requirement::filePermissions,
                        "One of your own folders. Readable by your account."});
    }
    rows.push_back({"Trash", TrashFolders::home(home), Requirement::filePermissions,
                    "Items you moved to the Trash. Readable by your account."});
    rows.push_back({"Home Folders", "/home", Requirement::filePermissions,
                    "Other accounts' home folders are private to those users."});
    rows.push_back({"Administrator", "/root", Requirement::filePermissions,
                    "The administrator's home folder. Readable only by the administrator."});
    rows.push_back({"System and Package Data", "/var/lib", Requirement::filePermissions,
                    "Data of system services and packages. Some of it is readable only by the administrator."});
    rows.push_back({"System Logs", "/var/log", Requirement::filePermissions,
                    "The system's logs. Some are readable only by administrators."});
    if (!userName.empty()) {
        const std::string removable = "Drives you plugged in. Readable once they are mounted.";
        rows.push_back({"Removable Media", "/media/" + userName, Requirement::filePermissions, removable});
        rows.push_back({"Removable Media", "/run/media/" + userName, Requirement::filePermissions, removable});
    }
    return rows;
}

std::optional<bool> PermissionManager::hasFullDiskAccess(const std::string& home)
{
    return hasFullDiskAccess(home, StorageSandbox::detect());
}

std::optional<bool> PermissionManager::hasFullDiskAccess(const std::string& home, const StorageSandbox& sandbox)
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
        return canOpen(path);
    }
    if (sandbox.kind != StorageSandbox::Kind::none) return false;
    switch (accessStatus(home)) {
    case AccessStatus::granted: return true;
    case AccessStatus::notFound: return std::nullopt;
    default: return false;
    }
}

AccessStatus PermissionManager::accessStatus(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT ? AccessStatus::notFound : AccessStatus::denied;
    return canOpen(path) ? AccessStatus::granted : AccessStatus::denied;
}

bool PermissionManager::canOpenSettingsURL(const std::string& text)
{
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    return !text.empty() && url.isValid() && !url.scheme().isEmpty()
        && url.scheme() != QLatin1String("x-apple.systempreferences");
}

void PermissionManager::openSettingsURL(const std::string& text, const std::function<void(const QUrl&)>& open)
{
    if (!open || !canOpenSettingsURL(text)) return;
    open(QUrl(QString::fromStdString(text), QUrl::StrictMode));
}
