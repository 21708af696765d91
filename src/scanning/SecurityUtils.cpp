#include "scanning/SecurityUtils.h"

#include "index/CaseFolding.h"
#include "index/StorageDatabase.h"
#include "platform/FileSystem.h"
#include "platform/LinuxSystemPlaces.h"
#include "platform/Paths.h"
#include "platform/ProcessIdentity.h"
#include "platform/SystemPaths.h"
#include "platform/TrashFolders.h"
#include "scanning/DirectoryReader.h"

#include <array>
#include <climits>
#include <span>
#include <unistd.h>
#include <unordered_set>

namespace SecurityUtils {

namespace {

constexpr std::string_view dataVolumePrefix = "/System/Volumes/Data";

// The Linux system places are tried after these tables.
constexpr std::array<std::string_view, 10> protectedExactPaths = {
    "/", "/Applications", "/Library", "/Users", "/Users/Shared", "/Volumes", "/opt",
    "/Library/Application Support", "/Library/Caches", "/Library/Logs",
};

constexpr std::array<std::string_view, 30> protectedTrees = {
    "/System", "/usr", "/bin", "/sbin", "/private", "/var", "/etc", "/tmp", "/dev", "/cores",
    "/Volumes/Recovery", "/Library/Apple", "/Library/Extensions", "/Library/Filesystems",
    "/Library/Frameworks", "/Library/LaunchAgents", "/Library/LaunchDaemons", "/Library/Preferences",
    "/Library/PrivilegedHelperTools", "/Library/Security", "/Library/StagedExtensions",
    "/Library/SystemExtensions", "/Library/Keychains", "/Library/Updates", "/Library/CoreMediaIO",
    "/Library/DirectoryServices", "/Library/OSAnalytics", "/Library/Apple/System", "/Library/Receipts",
    "/Library/Audio/Plug-Ins/HAL",
};

// The freedesktop.org folders of the home follow the shared ones: like ~/Library, they
// must stay while what they hold may go.
constexpr std::array<std::string_view, 29> protectedHomeExact = {
    "", "Library", "Documents", "Desktop", "Downloads", "Pictures", "Movies", "Music", "Applications",
    "Public", "Developer", ".Trash", "Library/Caches", "Library/Logs", "Library/Application Support",
    "Library/Containers", "Library/Group Containers", "Library/Preferences", "Library/Developer",
    "Library/Developer/Xcode", "Library/Mobile Documents", "Library/CloudStorage", "Library/LaunchAgents",
    ".ssh", ".gnupg", ".config",
    ".local", ".local/share", ".cache",
};

// After the shared ones: the Linux keychains (the desktop keyrings and wallets, GnuPG's
// keys, the certificate store of NSS), and the user's own Flatpak installation, whose
// applications are removed with flatpak, never moved to the Trash.
constexpr std::array<std::string_view, 25> protectedHomeTrees = {
    "Library/Keychains", "Library/Accounts", "Library/Mail", "Library/Messages",
    "Library/Application Support/com.apple.TCC", "Library/Cookies", "Library/IdentityServices",
    "Library/Sharing", "Library/Biome", "Library/Daemon Containers", "Library/Autosave Information",
    "Library/Calendars", "Library/Suggestions", "Library/Metadata", "Library/Application Support/AddressBook",
    "Library/Application Support/CallHistoryDB", "Library/Application Support/Knowledge",
    "Library/Application Support/com.apple.sharedfilelist", "Library/Group Containers/group.com.apple.notes",
    "Library/Safari",
    ".local/share/keyrings", ".local/share/kwalletd", ".gnupg", ".pki", ".local/share/flatpak",
};

struct Caution {
    std::string_view folder;
    std::string_view message;
};

constexpr std::array<Caution, 10> cautionHomeTrees = {{
    {"Library/Mobile Documents",
     "This item is in iCloud Drive. Moving it to the Trash removes it from all your devices."},
    {"Library/CloudStorage",
     "This item is in a cloud storage folder. Removing it may delete it from the cloud provider too."},
    {"Library/Containers", "This is an app's private data. Removing it can reset or break that app."},
    {"Library/Group Containers", "This is shared app data. Removing it can reset or break one or more apps."},
    {"Library/Application Support",
     "This is app support data. Removing it can reset or break the app that owns it."},
    {"Library/Preferences", "This is an app's settings file. Removing it resets that app's preferences."},
    {"Library/LaunchAgents",
     "This launch agent may belong to an app you rely on. Remove it only if you know what it is."},
    {"Pictures/Photos Library.photoslibrary", "This is your Photos library. Remove photos from the Photos app instead."},
    {"Library/Application Support/MobileSync/Backup",
     "This is an iPhone or iPad backup. Make sure you have a newer backup before removing it."},
    {".ssh", "This folder contains SSH keys."},
}};

// /usr/bin and /bin are where a Linux user's own programs live too: there the
// name and owner rules decide.
constexpr std::array<std::string_view, 6> systemExecutablePrefixes = {
    "/system", "/usr/libexec", "/usr/sbin", "/sbin", "/library/apple", "/usr/lib/systemd",
};

const std::unordered_set<std::string_view>& criticalProcessNames()
{
    static const std::unordered_set<std::string_view> names = {
        "kernel_task", "launchd", "WindowServer", "loginwindow", "logind", "opendirectoryd", "securityd",
        "trustd", "syspolicyd", "tccd", "mds", "mds_stores", "configd", "powerd", "coreservicesd",
        "notifyd", "distnoted", "cfprefsd", "UserEventAgent", "SystemUIServer", "Dock", "Finder",
        "ControlCenter", "kextd", "kernelmanagerd", "diskarbitrationd", "fseventsd", "hidd", "coreaudiod",
        "bluetoothd", "airportd", "watchdogd", "sandboxd", "amfid", "endpointsecurityd", "runningboardd",
        "backupd", "lsd", "apsd", "usbd", "mDNSResponder", "softwareupdated", "spindump",
    };
    return names;
}

// What ending would break the desktop session or the system on Linux.
const std::unordered_set<std::string_view>& sessionProcessNames()
{
    static const std::unordered_set<std::string_view> names = {
        "systemd", "(sd-pam)", "Xorg", "Xwayland", "X", "gnome-shell", "plasmashell", "xfwm4",
        "gnome-session-binary", "ksmserver", "xfce4-session", "lxqt-session", "mate-session", "cinnamon-session",
        "dbus-daemon", "dbus-broker", "dbus-broker-launch", "pipewire", "pipewire-pulse", "wireplumber",
        "pulseaudio",
    };
    return names;
}

bool isCriticalProcessName(std::string_view name)
{
    if (criticalProcessNames().count(name) || sessionProcessNames().count(name) || name.starts_with("kwin_")
        || name.starts_with("xdg-desktop-portal"))
        return true;
    // Without a readable executable the name is the kernel's, cut to 15 bytes.
    constexpr std::size_t commandNameLength = 15;
    if (name.size() != commandNameLength) return false;
    for (const auto* names : {&criticalProcessNames(), &sessionProcessNames()})
        for (const auto critical : *names)
            if (critical.size() > commandNameLength && critical.starts_with(name)) return true;
    return name == std::string_view("xdg-desktop-portal").substr(0, commandNameLength);
}

// protectedTitle + ": " + reason.
std::string protection(std::string_view reason)
{
    std::string text(protectedTitle);
    text += ": ";
    text += reason;
    return text;
}

const std::string standardFolderText =
    protection("this is a standard folder your system expects to exist. You can remove items inside it instead.");
const std::string trashText =
    "This is the Trash or part of it. Kestrelmoor cannot remove the Trash itself; empty it in your file manager "
    "instead.";
const std::string unreadableNameText =
    "A name on this item's path could not be read exactly, so Kestrelmoor cannot be sure which item it would "
    "move. Rename it in your file manager first.";
const std::string tooLongText = "This item's path is too long for it to be moved to the Trash safely.";
const std::string accountDataText = protection("this location holds system or account data.");

// Emptied by the system itself; what is in them may be in use by a running program.
constexpr std::array<std::string_view, 2> temporaryTrees = {"/tmp", "/var/tmp"};

bool isOnDataVolumePrefix(std::string_view path)
{
    return path.size() > dataVolumePrefix.size() && path[dataVolumePrefix.size()] == '/' &&
           Paths::asciiLowercased(path.substr(0, dataVolumePrefix.size())) == Paths::asciiLowercased(dataVolumePrefix);
}

bool within(std::string_view path, std::string_view root) { return Paths::isWithin(path, root); }

std::string lower(std::string_view text) { return CaseFolding::lowercased(text); }

std::string joined(const std::string& folder, std::string_view relative)
{
    std::string result = folder == "/" ? std::string() : folder;
    result += '/';
    result += lower(relative);
    return result;
}

// The lower-cased spellings under which a folder is known: as written and, when
// the file system may be asked, with every symbolic link resolved, so that a
// path judged in resolved form is still recognised.
std::vector<std::string> spellings(std::string_view path, bool resolve, const FileSystem& fileSystem)
{
    std::vector<std::string> result;
    std::string written = lower(normalized(path, false, fileSystem));
    if (written.empty())
        return result;
    result.push_back(std::move(written));
    if (resolve) {
        if (auto real = fileSystem.realPath(Paths::standardizing(path))) {
            std::string resolved = lower(droppingDataVolumePrefix(*real));
            if (resolved != result.front())
                result.push_back(std::move(resolved));
        }
    }
    return result;
}

std::optional<PathSafety> fileSystemProtection(const std::string& path, const FileSystem& fileSystem)
{
    FileStatus status;
    if (fileSystem.linkStatus(path, status) != 0)
        return PathSafety::protected_("The item no longer exists or cannot be read.");
    if (status.isImmutable || status.isAppendOnly)
        return PathSafety::protected_("This item is locked and cannot be moved.");
    // A read-only mount fails the write test too: say what is the case.
    if (fileSystem.isOnReadOnlyVolume(path).value_or(false))
        return PathSafety::protected_("This item is on a read-only volume.");
    if (!fileSystem.canWrite(Paths::deletingLastComponent(path)))
        return PathSafety::protected_("You don't have permission to modify the folder that contains this item.");
    return std::nullopt;
}

} // namespace

bool hasRepairedName(std::string_view path)
{
    return path.find(DirectoryReader::replacementCharacter) != std::string_view::npos;
}

std::string droppingDataVolumePrefix(std::string_view path)
{
    if (isOnDataVolumePrefix(path))
        return std::string(path.substr(dataVolumePrefix.size()));
    return std::string(path);
}

std::string normalized(std::string_view path, bool resolveParent)
{
    return normalized(path, resolveParent, FileSystem::standard());
}

std::string normalized(std::string_view path, bool resolveParent, const FileSystem& fileSystem)
{
    std::string result = Paths::standardizing(path);
    while (result.size() >= 2 && result.back() == '/')
        result.pop_back();
    if (!resolveParent || result == "/")
        return result;
    const std::string parent = Paths::deletingLastComponent(result);
    const std::string last = Paths::lastComponent(result);
    const auto real = fileSystem.realPath(parent);
    if (!real)
        return droppingDataVolumePrefix(result);
    const std::string resolvedParent = droppingDataVolumePrefix(*real);
    return resolvedParent == "/" ? "/" + last : resolvedParent + "/" + last;
}

PathSafety evaluate(std::string_view path, std::string_view homeDirectory,
                    const std::vector<std::string>& additionalProtected, bool checkFileSystem)
{
    return evaluate(path, homeDirectory, additionalProtected, checkFileSystem, FileSystem::standard());
}

PathSafety evaluate(std::string_view path, std::string_view homeDirectory,
                    const std::vector<std::string>& additionalProtected, bool checkFileSystem,
                    const FileSystem& fileSystem)
{
    const std::string input = droppingDataVolumePrefix(path);
    if (input.empty() || input.front() != '/')
        return PathSafety::protected_("Only absolute paths can be modified.");

    const std::string n = normalized(input, checkFileSystem, fileSystem);
    const std::string p = lower(n);
    const std::vector<std::string> homes = spellings(homeDirectory, checkFileSystem, fileSystem);

    for (const auto& exacts : {std::span<const std::string_view>(protectedExactPaths), LinuxSystemPlaces::folders()})
        for (const auto exact : exacts)
            if (p == lower(exact))
                return PathSafety::protected_(protection("this is a top-level system folder."));

    for (const auto tree : temporaryTrees)
        if (within(p, tree))
            return PathSafety::protected_(protection(std::string(tree) +
                                                     " holds the temporary files of running programs, and the system "
                                                     "clears it itself."));

    for (const auto& trees : {std::span<const std::string_view>(protectedTrees), LinuxSystemPlaces::trees()})
        for (const auto tree : trees)
            if (within(p, lower(tree)))
                return PathSafety::protected_(protection("items in " + std::string(tree) +
                                                         " are part of the operating system."));

    for (const auto& extra : additionalProtected)
        for (const auto& spelling : spellings(extra, checkFileSystem, fileSystem))
            if (within(p, spelling))
                return PathSafety::protected_("Kestrelmoor does not modify its own application or database files.");

    for (const auto& h : homes) {
        for (const auto entry : protectedHomeExact)
            if (p == (entry.empty() ? h : joined(h, entry)))
                return PathSafety::protected_(standardFolderText);
    }
    // The freedesktop.org counterparts of ~/.Trash, wherever $XDG_DATA_HOME puts the home one:
    // moving any part of them loses the restore records of what they hold.
    for (const auto& trash : spellings(TrashFolders::home(std::string(homeDirectory)), checkFileSystem, fileSystem))
        if (within(p, trash))
            return PathSafety::protected_(trashText);
    if (checkFileSystem && TrashFolders::isWithinVolumeTrash(n, MountTable::read()))
        return PathSafety::protected_(trashText);
    for (const auto& h : homes) {
        for (const auto entry : protectedHomeTrees)
            if (within(p, joined(h, entry)))
                return PathSafety::protected_(accountDataText);
    }

    const std::string homesRoot = lower(SystemPaths::homesRoot());
    bool insideOwnHome = false;
    for (const auto& h : homes)
        insideOwnHome = insideOwnHome || within(p, h);
    if (within(p, homesRoot) && !insideOwnHome && !within(p, "/users/shared"))
        return PathSafety::protected_("This item belongs to another user account.");

    if (p.rfind("/applications/safari.app", 0) == 0)
        return PathSafety::protected_(protection("Safari is part of macOS."));

    if (hasRepairedName(n))
        return PathSafety::protected_(unreadableNameText);
    // Beyond the kernel's limit neither the checks below nor a restore of the item can work.
    if (n.size() >= PATH_MAX)
        return PathSafety::protected_(tooLongText);

    if (checkFileSystem)
        if (auto verdict = fileSystemProtection(n, fileSystem))
            return *verdict;

    for (const auto& caution : cautionHomeTrees)
        for (const auto& h : homes)
            if (within(p, joined(h, caution.folder)))
                return PathSafety::caution(std::string(caution.message));
    // The freedesktop.org counterparts of Application Support and Preferences, wherever the
    // environment puts them.
    const std::string home(homeDirectory);
    for (const auto& [folder, message] :
         {std::pair{SystemPaths::dataHome(home), "This is app data. Removing it can reset or break the app that owns it."},
          std::pair{SystemPaths::configHome(home), "This is an app's settings. Removing it resets that app's preferences."}})
        for (const auto& spelling : spellings(folder, checkFileSystem, fileSystem))
            if (within(p, spelling))
                return PathSafety::caution(message);

    for (const auto& h : homes) {
        if (within(p, "/applications") || within(p, joined(h, "applications"))) {
            // Here an application keeps its settings and data in the freedesktop.org folders.
            const auto shown = [&](const std::string& folder) {
                return folder.starts_with(home + "/") ? "~" + folder.substr(home.size()) : folder;
            };
            return PathSafety::caution("Moving an app to the Trash uninstalls it. Its settings and data in " +
                                       shown(SystemPaths::configHome(home)) + " and " +
                                       shown(SystemPaths::dataHome(home)) + " are not removed.");
        }
    }
    if (within(p, "/library"))
        return PathSafety::caution("This item is in the system-wide Library and may be used by apps for all users.");
    return PathSafety::allowed();
}

std::vector<std::string> appOwnedPaths()
{
    std::vector<std::string> paths;
    if (std::string executable = SystemPaths::executablePath(); !executable.empty())
        paths.push_back(std::move(executable));
    try {
        paths.push_back(StorageDatabase::defaultDirectory());
    } catch (...) {
        // Without a cache folder only the program itself is listed.
    }
    return paths;
}

ProcessSafety evaluateProcess(std::int32_t pid, std::string_view name,
                              const std::optional<std::string>& executablePath,
                              std::optional<std::uint32_t> ownerUID, std::uint32_t currentUID, std::int32_t parentPID)
{
    // Kernel threads are kthreadd (pid 2) and its children, none with an executable.
    if (pid < 2 || (!executablePath && (pid == 2 || parentPID == 2)))
        return ProcessSafety::refused(protection("core system process."));
    if (pid == ::getpid())
        return ProcessSafety::refused("This is Kestrelmoor itself. Use Kestrelmoor \u25B8 Quit instead.");
    const std::string upgradedName = ProcessIdentity::withoutDeletedMarker(std::string(name));
    if (isCriticalProcessName(upgradedName))
        return ProcessSafety::refused(protection("your system needs this process."));
    if (!ownerUID)
        return ProcessSafety::refused("Kestrelmoor can't read who owns this process.");
    if (*ownerUID != currentUID)
        return ProcessSafety::refused("This process belongs to another user or to the system.");
    if (!executablePath)
        return ProcessSafety::allowed();
    const std::string executable = lower(ProcessIdentity::withoutDeletedMarker(*executablePath));
    for (const auto prefix : systemExecutablePrefixes)
        if (within(executable, prefix))
            return ProcessSafety::refused(protection("this is a system component."));
    return ProcessSafety::allowed();
}

} // namespace SecurityUtils
