#include "index/StorageCategory.h"

namespace {

struct CategoryTexts {
    StorageCategory category;
    std::string_view displayName;
    std::string_view symbolName;
    std::string_view detectionNote;
};

constexpr std::string_view placeNote =
    "Files located in this folder (archives and VM images are counted separately).";

// Indexed by raw value.
constexpr std::array<CategoryTexts, storageCategoryCount> table = {{
    {StorageCategory::other, "Other", "questionmark.folder",
     "Files that didn't match any rule. Kestrelmoor doesn't guess."},
    {StorageCategory::applications, "Applications", "square.grid.2x2", "Applications folders and app bundles, with their contents."},
    {StorageCategory::documents, "Documents", "doc.text", placeNote},
    {StorageCategory::downloads, "Downloads", "arrow.down.circle", placeNote},
    {StorageCategory::desktop, "Desktop", "menubar.dock.rectangle", placeNote},
    {StorageCategory::photos, "Photos", "photo.on.rectangle", "Image files, plus everything in ~/Pictures."},
    {StorageCategory::videos, "Videos", "film", "Video files, plus everything in ~/Videos."},
    {StorageCategory::music, "Music", "music.note", "Audio files, plus everything in ~/Music."},
    {StorageCategory::developer, "Developer Files", "chevron.left.forwardslash.chevron.right",
     "Source code and developer tool folders (e.g. ~/Developer, ~/.cargo, Homebrew)."},
    {StorageCategory::xcode, "Xcode", "hammer", "~/Library/Developer, Xcode caches and Xcode.app."},
    {StorageCategory::docker, "Docker", "shippingbox",
     "Known Docker Desktop, OrbStack, Colima, Rancher and Podman data folders."},
    {StorageCategory::nodeJS, "Node.js", "cube.box", "node_modules folders and Node version managers."},
    {StorageCategory::npm, "npm", "shippingbox.circle", "The npm cache (~/.npm)."},
    {StorageCategory::yarn, "Yarn", "circle.hexagongrid", "Yarn caches."},
    {StorageCategory::pnpm, "pnpm", "square.stack.3d.up", "The pnpm content-addressable store."},
    {StorageCategory::git, "Git Repositories", "arrow.triangle.branch", "Contents of .git directories."},
    {StorageCategory::caches, "Caches", "internaldrive", "~/.cache, /var/cache and apps' other cache folders."},
    {StorageCategory::logs, "Logs", "list.bullet.rectangle", "System logs in /var/log and apps' log folders."},
    {StorageCategory::iOSBackups, "iOS Backups", "iphone", "Finder/iTunes device backups (MobileSync)."},
    {StorageCategory::android, "Android", "apps.iphone", "Android SDK, Gradle, emulator and Android Studio data."},
    {StorageCategory::virtualMachines, "Virtual Machines", "pc",
     "Virtual machine bundles and disk images (UTM, Parallels, VMware, VirtualBox)."},
    {StorageCategory::archives, "Archives & Disk Images", "archivebox",
     "Archives and disk images (.zip, .tar.gz, .7z, .iso \u2026)."},
    {StorageCategory::system, "System", "gearshape.2", "System folders (/usr, /var, /etc, /boot \u2026)."},
    {StorageCategory::trash, "Trash", "trash", "Items in your Trash."},
    {StorageCategory::mail, "Mail & Messages", "envelope", "Mail and Messages data."},
    {StorageCategory::cloudStorage, "iCloud & Cloud Storage", "icloud",
     "iCloud Drive and File Provider folders (may include files not stored locally)."},
}};

constexpr bool tableFollowsRawValues()
{
    for (int i = 0; i < storageCategoryCount; ++i) {
        if (rawValue(table[static_cast<size_t>(i)].category) != i) return false;
    }
    return true;
}
static_assert(tableFollowsRawValues());

const CategoryTexts& texts(StorageCategory category)
{
    const auto raw = rawValue(category);
    return table[raw >= 0 && raw < storageCategoryCount ? static_cast<size_t>(raw) : 0];
}

} // namespace

std::optional<StorageCategory> storageCategoryFromRawValue(std::int64_t raw)
{
    if (raw < 0 || raw >= storageCategoryCount) return std::nullopt;
    return static_cast<StorageCategory>(raw);
}

const std::array<StorageCategory, storageCategoryCount>& allStorageCategories()
{
    static const auto all = [] {
        std::array<StorageCategory, storageCategoryCount> cases{};
        for (size_t i = 0; i < table.size(); ++i) cases[i] = table[i].category;
        return cases;
    }();
    return all;
}

std::string_view displayName(StorageCategory category) { return texts(category).displayName; }
std::string_view symbolName(StorageCategory category) { return texts(category).symbolName; }
std::string_view detectionNote(StorageCategory category) { return texts(category).detectionNote; }
