#include "analysis/DeveloperStorageAnalyzer.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "index/StorageDatabase.h"
#include "platform/Paths.h"
#include "scanning/FolderAnalyzer.h"

#include <sys/stat.h>

#include <span>

namespace {

// "1 project", "3 projects".
std::string counted(std::size_t count, const char* singular, const char* plural)
{
    return std::to_string(count) + ' ' + (count == 1 ? singular : plural);
}

struct Location {
    const char* title;
    const char* path;  // absolute when it starts with "/", else relative to the home folder
    const char* note;  // may be null
    const char* counterpart = nullptr;  // the freedesktop place of the same data, measured beside `path`
};

constexpr Location xcodeLocations[] = {
    {"DerivedData", "Library/Developer/Xcode/DerivedData", "Build intermediates"},
    {"Archives", "Library/Developer/Xcode/Archives", "App archives (.xcarchive)"},
    {"Simulators (CoreSimulator)", "Library/Developer/CoreSimulator", "Simulator devices, runtimes and caches"},
    {"Device Support", "Library/Developer/Xcode/iOS DeviceSupport", "Symbols for connected devices"},
    {"Xcode Caches", "Library/Caches/com.apple.dt.Xcode", nullptr},
    {"Simulator Runtimes", "/Library/Developer/CoreSimulator", "System-wide runtimes (managed by Xcode)"},
    {"Xcode.app", "/Applications/Xcode.app", "The application bundle"},
};

constexpr Location nodeLocations[] = {
    {"npm cache", ".npm", nullptr},
    {"Yarn cache", "Library/Caches/Yarn", nullptr, ".cache/yarn"},
    {"Yarn Berry cache", ".yarn/berry", nullptr},
    {"pnpm store", "Library/pnpm", "Hard-linked into projects"},
    {"nvm versions", ".nvm", nullptr},
    {"Volta", ".volta", nullptr},
    {"Bun", ".bun", nullptr},
};

constexpr Location androidLocations[] = {
    {"Gradle", ".gradle", "Dependency and build caches"},
    {"Android user data (AVDs)", ".android", "Emulators and keys"},
    {"Android SDK", "Library/Android/sdk", nullptr, "Android/Sdk"},
    {"Android Studio caches", "Library/Caches/Google", nullptr, ".cache/Google"},
    {"Android Studio settings", "Library/Application Support/Google", nullptr, ".local/share/Google"},
    {"Android Studio.app", "/Applications/Android Studio.app", nullptr},
    // Where the Linux archives of the SDK and of Android Studio are unpacked.
    {"Android SDK", "/opt/android-sdk", nullptr},
    {"Android Studio", "/opt/android-studio", nullptr},
};

constexpr Location dockerLocations[] = {
    {"Docker Desktop data", "Library/Containers/com.docker.docker", "Virtual disk with images, containers and volumes"},
    {"Docker Desktop group data", "Library/Group Containers/group.com.docker", nullptr},
    {"Docker CLI config & contexts", ".docker", nullptr},
    {"OrbStack", ".orbstack", nullptr},
    {"OrbStack data", "Library/Group Containers/HUAQ24HBR6.dev.orbstack", nullptr},
    {"Colima", ".colima", nullptr},
    {"Lima", ".lima", nullptr},
    {"Rancher Desktop", "Library/Application Support/rancher-desktop", nullptr, ".local/share/rancher-desktop"},
    {"Podman", ".local/share/containers", nullptr},
};

constexpr Location otherLocations[] = {
    {"Homebrew", "/opt/homebrew", nullptr, "/home/linuxbrew/.linuxbrew"},
    {"Homebrew (Intel)", "/usr/local/Homebrew", nullptr},
    {"Rust (cargo)", ".cargo", nullptr},
    {"Rust toolchains", ".rustup", nullptr},
    {"Python (pyenv)", ".pyenv", nullptr},
    {"Conda", "miniconda3", nullptr},
    {"Maven", ".m2", nullptr},
    {"Go modules", "go/pkg", nullptr},
    {"CocoaPods", ".cocoapods", nullptr},
    {"SwiftPM cache", "Library/Caches/org.swift.swiftpm", nullptr},
    // The toolchains a Linux system installs for all its users.
    {"Java (JDKs)", "/usr/lib/jvm", "Installed Java development kits and runtimes"},
    {"Go toolchain", "/usr/local/go", nullptr},
    {"Flutter SDK", "/opt/flutter", nullptr},
};

constexpr const char* nodeModulesScanNote = "Run a scan to find node_modules folders across your disk.";
constexpr const char* gitScanNote = "Run a scan to find Git repositories.";

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::vector<DeveloperStorageItem> measure(const std::string& home, const std::string& systemRoot,
                                          StorageDatabase* database, const std::string& group,
                                          std::span<const Location> rows, std::stop_token stop)
{
    std::vector<DeveloperStorageItem> items;
    for (const auto& row : rows) {
        for (const char* place : {row.path, row.counterpart}) {
            if (!place) continue;
            if (stop.stop_requested()) return items;
            std::string path = place[0] == '/' ? systemRoot + place : home + "/" + place;
            if (!exists(path)) continue;
            FolderSizeResult size = FolderAnalyzer::cachedOrCalculatedSize(path, database, stop);
            std::optional<std::string> detail;
            if (row.note) detail = row.note;
            items.push_back({group, row.title, std::move(path), size.allocatedSize,
                             size.restrictedFolderCount > 0 || size.wasCancelled, std::move(detail)});
        }
    }
    return items;
}

// Folders of that name in the index, largest first; none when the index cannot be read.
std::vector<FolderItem> indexedFolders(StorageDatabase& database, const std::string& name, bool outermostOnly,
                                       std::int64_t limit)
{
    try {
        return database.folders(name, outermostOnly, limit);
    } catch (const std::exception&) {
        return {};
    }
}

DeveloperStorageGroup makeGroup(std::string name, std::string symbol, std::vector<DeveloperStorageItem> items,
                                std::optional<std::string> note = std::nullopt)
{
    bool detected = !items.empty();
    return {std::move(name), std::move(symbol), std::move(items), detected, std::move(note)};
}

} // namespace

std::vector<DeveloperStorageGroup> DeveloperStorageAnalyzer::analyze(std::stop_token stop) const
{
    std::vector<DeveloperStorageGroup> groups;
    groups.push_back(makeGroup("Xcode", "hammer", measure(home_, systemRoot_, database_, "Xcode", xcodeLocations, stop)));

    DeveloperStorageGroup node =
        makeGroup("Node.js", "cube.box", measure(home_, systemRoot_, database_, "Node.js", nodeLocations, stop), nodeModulesScanNote);
    addNodeModules(node);
    groups.push_back(std::move(node));

    groups.push_back(
        makeGroup("Android", "apps.iphone", measure(home_, systemRoot_, database_, "Android", androidLocations, stop)));

    auto docker = measure(home_, systemRoot_, database_, "Docker", dockerLocations, stop);
    std::string dockerNote = docker.empty()
        ? "No Docker, OrbStack, Colima, Rancher Desktop or Podman data found."
        : "The virtual disk size is space allocated on disk. Use `docker system df` to see what's inside it.";
    groups.push_back(makeGroup("Docker", "shippingbox", std::move(docker), std::move(dockerNote)));

    DeveloperStorageGroup git = makeGroup("Git Repositories", "arrow.triangle.branch", {}, gitScanNote);
    addGitRepositories(git);
    groups.push_back(std::move(git));

    groups.push_back(makeGroup("Other Toolchains", "wrench.and.screwdriver",
                               measure(home_, systemRoot_, database_, "Other", otherLocations, stop)));
    return groups;
}

void DeveloperStorageAnalyzer::addNodeModules(DeveloperStorageGroup& group) const
{
    if (!database_) return;
    const auto folders = indexedFolders(*database_, "node_modules", true, 200);
    if (folders.empty()) return;

    std::int64_t total = 0;
    for (const auto& folder : folders) total += folder.totalAllocated;
    const FolderItem& largest = folders.front();
    group.items.push_back({"Node.js", "node_modules (" + counted(folders.size(), "project", "projects") + ")", largest.path,
                           total, false, "Largest: " + abbreviatingHome(largest.path)});
    for (std::size_t i = 0; i < folders.size() && i < 15; ++i) {
        const auto& folder = folders[i];
        group.items.push_back({"Node.js", Paths::lastComponent(Paths::deletingLastComponent(folder.path)) + "/node_modules",
                               folder.path, 0, false, ByteFormatter::string(folder.totalAllocated)});
    }
    group.detected = true;
    group.note.reset();
}

void DeveloperStorageAnalyzer::addGitRepositories(DeveloperStorageGroup& group) const
{
    if (!database_) return;
    const auto folders = indexedFolders(*database_, ".git", false, 500);
    if (folders.empty()) return;

    group.note = counted(folders.size(), "repository", "repositories") +
                 " found. Sizes are the .git folders only (history and objects).";
    for (std::size_t i = 0; i < folders.size() && i < 50; ++i) {
        const auto& folder = folders[i];
        std::string repository = Paths::deletingLastComponent(folder.path);
        group.items.push_back({"Git", Paths::lastComponent(repository), folder.path, folder.totalAllocated,
                               folder.isRestricted, abbreviatingHome(repository)});
    }
    if (folders.size() > 50) {
        std::int64_t rest = 0;
        for (std::size_t i = 50; i < folders.size(); ++i) rest += folders[i].totalAllocated;
        if (rest > 0)
            group.items.push_back({"Git", counted(folders.size() - 50, "more repository", "more repositories"), "", rest, false,
                                   std::nullopt});
    }
    group.detected = !group.items.empty();
}
