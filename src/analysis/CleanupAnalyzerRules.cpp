#include "analysis/CleanupAnalyzer.h"

#include "platform/SystemPaths.h"

namespace {

// Stands for the user's data folder in a rule's place.
constexpr std::string_view dataHomeMark = "$XDG_DATA_HOME";

} // namespace

std::string CleanupAnalyzer::rulePath(const std::string& home, const std::string& relative)
{
    if (relative.starts_with(dataHomeMark))
        return SystemPaths::dataHome(home) + relative.substr(dataHomeMark.size());
    return home + "/" + relative;
}

// The places in the home folder where space is commonly reclaimable or commonly misunderstood.
// Order matters: rules are evaluated, reported and tie-broken in this order.
// A place's freedesktop counterpart follows its macOS folder in the same rule, or has a rule of
// its own where the macOS folder's name would mislead; a place of the system is absolute.
std::vector<CleanupAnalyzer::Rule> CleanupAnalyzer::rules()
{
    using Action = CleanupRecommendation::Action;
    using enum CleanupSafety;
    constexpr std::int64_t tenMillion = 10'000'000;
    return {
        {"Xcode DerivedData", "Build intermediates. Xcode rebuilds them as needed; the next build will be slower.",
         {"Library/Developer/Xcode/DerivedData"}, safe, Action::moveToTrash(), "hammer", tenMillion, false},
        {"Xcode Previews & Simulator caches", "Caches regenerated automatically.",
         {"Library/Developer/Xcode/UserData/Previews", "Library/Developer/CoreSimulator/Caches"}, safe,
         Action::moveToTrash(), "iphone", tenMillion, false},
        {"Old device support files",
         "Debug symbols for iOS/watchOS versions. Re-downloaded when you connect a device running that version.",
         {"Library/Developer/Xcode/iOS DeviceSupport", "Library/Developer/Xcode/watchOS DeviceSupport",
          "Library/Developer/Xcode/tvOS DeviceSupport", "Library/Developer/Xcode/visionOS DeviceSupport"},
         review, Action::moveToTrash(), "cpu", tenMillion, true},
        {"Unavailable iOS simulators",
         "Simulator devices for runtimes you no longer have. Use the command so Xcode stays consistent.",
         {"Library/Developer/CoreSimulator/Devices"}, review, Action::command("xcrun simctl delete unavailable"),
         "iphone.slash", tenMillion, false},
        {"Xcode Archives",
         "Needed to symbolicate crash reports and re-submit builds. Keep archives for releases you support.",
         {"Library/Developer/Xcode/Archives"}, review, Action::moveToTrash(), "archivebox", tenMillion, true},
        {"npm cache", "Downloaded packages. npm re-downloads them when needed.", {".npm/_cacache"}, safe,
         Action::command("npm cache clean --force"), "shippingbox.circle", tenMillion, false},
        {"Yarn cache", "Downloaded packages. Yarn re-downloads them when needed.",
         {"Library/Caches/Yarn", ".yarn/berry/cache", ".cache/yarn"}, safe, Action::command("yarn cache clean"),
         "circle.hexagongrid", tenMillion, false},
        {"pnpm store",
         "Packages are hard-linked into projects, so trashing the store frees less than shown. Use pnpm's own prune.",
         {"Library/pnpm/store", ".pnpm-store", ".local/share/pnpm/store"}, review, Action::command("pnpm store prune"),
         "square.stack.3d.up", tenMillion, false},
        {"Gradle caches", "Downloaded dependencies and build caches. Re-downloaded on next build.", {".gradle/caches"},
         safe, Action::moveToTrash(), "apps.iphone", tenMillion, false},
        {"CocoaPods & SwiftPM caches", "Downloaded dependencies.",
         {"Library/Caches/CocoaPods", "Library/Caches/org.swift.swiftpm"}, safe, Action::moveToTrash(), "shippingbox",
         tenMillion, false},
        {"Homebrew cache", "Downloaded bottles.", {"Library/Caches/Homebrew"}, safe,
         Action::command("brew cleanup --prune=all"), "mug", tenMillion, false},
        {"Package cache", "Packages apt downloaded to install or update software. apt downloads them again when needed.",
         {"/var/cache/apt/archives"}, safe, Action::command("sudo apt-get clean"), "shippingbox", tenMillion, false},
        {"System journal", "The system's logs. journalctl keeps the newest within the size you give it.",
         {"/var/log/journal"}, review, Action::command("sudo journalctl --vacuum-size=500M"), "list.bullet.rectangle",
         100'000'000, false},
        {"Browser caches", "Web page caches. Browsers rebuild them; quit the browser first.",
         {"Library/Caches/Google/Chrome", "Library/Caches/Firefox", "Library/Caches/com.microsoft.edgemac",
          "Library/Caches/BraveSoftware", "Library/Caches/company.thebrowser.Browser",
          "Library/Caches/com.operasoftware.Opera", ".cache/google-chrome", ".cache/chromium", ".cache/mozilla",
          ".cache/BraveSoftware", ".cache/microsoft-edge"},
         safe, Action::moveToTrash(), "globe", tenMillion, false},
        {"Application caches", "Per-app caches in ~/.cache. Apps recreate them; quit the app first.",
         {"Library/Caches", ".cache"}, safe, Action::moveToTrash(), "internaldrive", 50'000'000, true},
        {"User logs", "Diagnostic logs. Safe to remove unless you're troubleshooting.", {"Library/Logs"}, safe,
         Action::moveToTrash(), "list.bullet.rectangle", 5'000'000, true},
        {"Docker data",
         "Docker's virtual disk. Never trash it manually \u2014 use Docker's own cleanup to remove unused images, "
         "containers and build cache.",
         {"Library/Containers/com.docker.docker/Data/vms", ".orbstack", ".colima"}, review,
         Action::command("docker system prune"), "shippingbox", tenMillion, false},
        {"iOS device backups",
         "iPhone/iPad backups. Delete old ones from Finder \u25B8 your device \u25B8 Manage Backups.",
         {"Library/Application Support/MobileSync/Backup"}, review, Action::none(), "iphone", tenMillion, false},
        {"Trash", "Items you already moved to the Trash still use space until you empty it in your file manager.", {".Trash"},
         safe, Action::openInFinder(), "trash", 1, false},
        {"Photos Library", "Remove photos from within the Photos app. Never move the library itself.",
         {"Pictures/Photos Library.photoslibrary"}, doNotRemove, Action::none(), "photo.on.rectangle", 1, false},
        {"Mail data", "Managed by Mail. Remove large attachments from within Mail.", {"Library/Mail"}, doNotRemove,
         Action::none(), "envelope", 1, false},
        {"iCloud Drive",
         "Removing files here deletes them from iCloud on all your devices. Use Finder's \u201CRemove Download\u201D "
         "instead to free local space.",
         {"Library/Mobile Documents"}, doNotRemove, Action::none(), "icloud", 1, false},
        {"Application Support",
         "App data such as databases and settings. Removing it can break apps \u2014 uninstall the app instead.",
         {"Library/Application Support"}, doNotRemove, Action::none(), "folder.badge.gearshape", 1, false},
        {"Application Data",
         "App data such as databases and settings. Removing it can break apps \u2014 uninstall the app instead.",
         {std::string(dataHomeMark)}, doNotRemove, Action::none(), "folder.badge.gearshape", 1, false},
    };
}
