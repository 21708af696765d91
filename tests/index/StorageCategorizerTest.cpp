#include "index/CaseFolding.h"
#include "index/StorageCategorizer.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using C = StorageCategory;
using Context = StorageCategorizer::FolderContext;

Context forced(C category) { return {category, std::nullopt}; }
Context fallback(C category) { return {std::nullopt, category}; }
const Context none{};

struct Case { std::string folder; Context expected; };

// With the home /users/ann.
const std::vector<Case>& folderRuleCases()
{
    static const std::vector<Case> cases = {
        {"/Users/Ann/Projects/site/node_modules/lodash", forced(C::nodeJS)},
        {"/users/ann/node_modules", forced(C::nodeJS)},
        {"/users/ann/.nvm/versions", forced(C::nodeJS)},
        {"/users/ann/.npm/_cacache", forced(C::npm)},
        {"/users/ann/library/caches/yarn/berry", forced(C::yarn)},
        {"/users/ann/work/.yarn/cache", forced(C::yarn)},
        {"/users/ann/work/.yarn/releases", none},
        {"/users/ann/work/.pnpm-store/v3", forced(C::pnpm)},
        {"/users/ann/library/caches/com.apple.safari", forced(C::caches)},
        {"/users/ann/library/caches/com.apple.dt.xcode", forced(C::xcode)},
        {"/applications/xcode-beta.app/contents", forced(C::xcode)},
        {"/applications/safari.app", forced(C::applications)},
        {"/applications/utilities", forced(C::applications)},
        {"/opt/tools/xcode-helper.app", forced(C::applications)},
        {"/applications/docker.app/contents", forced(C::docker)},
        {"/users/ann/.local/share/containers/storage", forced(C::docker)},
        // The system-wide engines' stores, under the system tree /var.
        {"/var/lib/docker/overlay2/abc/diff/usr/lib", forced(C::docker)},
        {"/var/lib/containers/storage", forced(C::docker)},
        {"/var/lib/dockerish", forced(C::system)},
        {"/users/ann/.gradle/caches", forced(C::android)},
        {"/users/ann/library/application support/mobilesync/backup/x", forced(C::iOSBackups)},
        {"/users/ann/downloads", fallback(C::downloads)},
        {"/users/ann/downloads/reports", fallback(C::downloads)},
        {"/users/ann/downloads/site/.git", forced(C::git)},
        {"/users/ann/downloads/site/.git/objects/ab", forced(C::git)},
        {"/users/ann/downloads/site/.github", fallback(C::downloads)},
        {"/users/ann/downloadsold", none},
        {"/users/ann/desktop", fallback(C::desktop)},
        {"/users/ann/documents/taxes", fallback(C::documents)},
        {"/users/ann/pictures", fallback(C::photos)},
        {"/users/ann/movies", fallback(C::videos)},
        {"/users/ann/videos/holiday", fallback(C::videos)},   // the freedesktop.org name of the folder
        {"/users/ann/music/itunes", fallback(C::music)},
        {"/volumes/backup/.trashes/501", forced(C::trash)},
        {"/users/ann/.trash", forced(C::trash)},
        {"/users/ann/library/mail/v10", forced(C::mail)},
        {"/users/ann/library/mobile documents/com~apple~clouddocs", forced(C::cloudStorage)},
        {"/users/ann/.cache/pip", forced(C::caches)},
        {"/users/ann/app/deriveddata", forced(C::caches)},
        {"/private/var/folders/xy", forced(C::caches)},
        {"/private/var/log/asl", forced(C::logs)},
        {"/private/etc", forced(C::system)},
        {"/usr/local/bin", forced(C::system)},
        {"/opt/homebrew/cellar", forced(C::developer)},
        {"/users/ann/.cargo/registry", forced(C::developer)},
        {"/users/ann/go/pkg/mod", forced(C::developer)},
        {"/users/ann/go/src", none},
        {"/opt/other", none},
        {"/", none},
        {"/users/ann", none},
        {"/users/ann/vms/win.vmwarevm/disk", forced(C::virtualMachines)},
        {"/users/ann/my.utm.backup", none},
        {"/users/ann/virtualbox vms/ubuntu", forced(C::virtualMachines)},
        // A component is matched whole, wherever the name also appears as part of another one.
        {"/srv/xnode_modules/node_modules_x/node_modulesy", none},
        {"/srv/xnode_modules/node_modules", forced(C::nodeJS)},
        {"/srv/node_modulesnode_modules/node_modules/x", forced(C::nodeJS)},
        {"node_modules/x", none},
        {"/users/ann/.npmrc", none},
        {"/users/ann.npm", none},
        {"/users/ann//.npm", none},
    };
    return cases;
}

// The prefixes of an absolute path, "/" first.
std::vector<std::string> foldersDownTo(const std::string& path)
{
    std::vector<std::string> folders{"/"};
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        folders.push_back(path.substr(0, slash));
    if (path != "/")
        folders.push_back(path);
    return folders;
}

// Takes every folder on the way to `path` as a scan's root in turn and derives the contexts
// below it, each from its parent's trail, as the scan does: each must be its whole path's.
void expectTrailsGiveWholePathContexts(const StorageCategorizer& categorizer, const std::string& path)
{
    const std::vector<std::string> folders = foldersDownTo(path);
    std::vector<Context> whole;
    for (const auto& folder : folders)
        whole.push_back(categorizer.context(folder));
    // Roots at the top and all the way down, past the start a trail keeps.
    for (std::size_t root = 0; root < folders.size(); root += root < 4 ? 1 : 64) {
        StorageCategorizer::Trail trail;
        ASSERT_EQ(categorizer.context(folders[root], nullptr, trail), whole[root]) << folders[root];
        for (std::size_t below = root + 1; below < folders.size(); ++below) {
            StorageCategorizer::Trail next;
            const Context derived = categorizer.context(folders[below], &trail, next);
            ASSERT_EQ(derived, whole[below]) << folders[below].substr(0, 300) << " below the root "
                                             << folders[root].substr(0, 300);
            trail = std::move(next);
        }
    }
}

std::string repeated(const std::string& level, int times)
{
    std::string path;
    for (int i = 0; i < times; ++i)
        path += "/" + level;
    return path;
}

} // namespace

TEST(StorageCategorizer, FolderRulesTakeTheFirstGroupThatHolds)
{
    const StorageCategorizer categorizer("/users/ann");
    for (const auto& c : folderRuleCases())
        EXPECT_EQ(categorizer.context(c.folder), c.expected) << c.folder;
}

TEST(StorageCategorizer, AFolderGetsFromItsParentsTrailTheContextOfItsWholePath)
{
    const std::string deep = repeated("level-of-a-deep-tree", 250);   // past the start a trail keeps
    const std::string longName(200, 'n');
    const std::string kelvin = "\xE2\x84\xAA";   // KELVIN SIGN, one byte once lower-cased
    std::vector<std::string> paths;
    for (const auto& c : folderRuleCases())
        if (c.folder.front() == '/' && c.folder.find("//") == std::string::npos)
            paths.push_back(c.folder);
    // Each rule that looks anywhere in a path, met far above the folder and far below the root.
    const std::string more[] = {
        "/Users/Ann" + deep + "/node_modules/x",
        "/srv/node_modules" + deep,
        "/users/ann/downloads" + deep + "/site/.git/objects",
        "/users/ann/downloads/site/.git" + deep,
        "/users/ann/downloads" + deep + "/" + longName + "/.yarn/cache/x",
        "/srv/.yarn/cache" + deep,
        "/srv/work/.pnpm-store" + deep,
        "/users/ann/work/" + longName + "/.yarn/cache",
        "/srv" + deep + "/Google/AndroidStudio2024/system",
        "/srv/Google/AndroidStudio" + deep,
        "/srv/" + longName + "/google/androidstudio",
        "/mnt/disk" + deep + "/.Trash/1000/files",
        "/mnt/disk/.Trash/1000" + deep,
        "/mnt/disk/" + longName + "/.Trash/1000",
        "/media/usb" + deep + "/.Trash-1000/files",
        "/volumes/backup/.Trashes" + deep,
        "/applications" + deep + "/Xcode-beta.app/Contents",
        "/applications/Xcode-beta.app" + deep,
        "/srv/app.app" + deep,
        "/srv/site/DerivedData" + deep,
        "/users/ann/vms" + deep + "/win.vmwarevm/disk",
        "/users/ann/vms/win.pvm" + deep,
        "/users/ann/vms/win.utm" + deep,
        "/users/ann" + repeated(kelvin + kelvin + kelvin, 40) + "/.git",
        "/home/\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91\xCE\xA3/Downloads/CAFE\xCC\x81",   // a final sigma, a combining accent
        "/users/ann/Downloads" + deep,
    };
    paths.insert(paths.end(), std::begin(more), std::end(more));
    const StorageCategorizer categorizer("/users/ann");
    for (const auto& path : paths)
        expectTrailsGiveWholePathContexts(categorizer, path);
    // Rules that reach past the start a trail keeps are read from the whole path.
    const std::string farHome = "/home" + deep;
    expectTrailsGiveWholePathContexts(StorageCategorizer(farHome), farHome + "/downloads/x/.cache");
    expectTrailsGiveWholePathContexts(StorageCategorizer(farHome), farHome + "/.cache/yarn/v6");
}

TEST(StorageCategorizer, TheFreedesktopTrashesAreTheTrash)
{
    struct Case {
        const char* folder;
        Context expected;
    };
    {
        ScopedEnvironment unset("XDG_DATA_HOME", "");
        const StorageCategorizer categorizer("/home/ann");
        const Case cases[] = {
            {"/home/ann/.local/share/Trash", forced(C::trash)},
            {"/home/ann/.local/share/Trash/files/Project", forced(C::trash)},
            {"/media/ann/USB/.Trash-1000/files", forced(C::trash)},
            {"/mnt/disk/.Trash/1000/files/report", forced(C::trash)},
            {"/mnt/disk/.Trash", none},
            {"/mnt/disk/.Trash-x/files", none},
            {"/home/ann/.local/share/trashy", none},
            {"/home/bob/.local/share/Trash/files", none},
        };
        for (const auto& c : cases)
            EXPECT_EQ(categorizer.context(c.folder), c.expected) << c.folder;
        EXPECT_EQ(StorageCategorizer::category("pdf", categorizer.context("/home/ann/.local/share/Trash/files")),
                  C::trash);
    }
    ScopedEnvironment data("XDG_DATA_HOME", "/home/ann/Data");
    const StorageCategorizer categorizer("/home/ann");
    EXPECT_EQ(categorizer.context("/home/ann/Data/Trash/files"), forced(C::trash));
    EXPECT_EQ(categorizer.context("/home/ann/.local/share/Trash/files"), none);
}

TEST(StorageCategorizer, LinuxSystemFoldersLogsAndCaches)
{
    const StorageCategorizer categorizer("/home/ann");
    struct Case { const char* folder; Context expected; };
    const Case cases[] = {
        {"/var/log", forced(C::logs)},
        {"/var/log/journal/0123abcd", forced(C::logs)},
        {"/var/cache", forced(C::caches)},
        {"/var/cache/apt/archives", forced(C::caches)},
        {"/var/lib/dpkg", forced(C::system)},
        {"/var/logs", forced(C::system)},
        {"/var/cached", forced(C::system)},
        {"/var", forced(C::system)},
        {"/var/tmp", forced(C::system)},
        {"/etc", forced(C::system)},
        {"/etc/apt/sources.list.d", forced(C::system)},
        {"/boot/grub", forced(C::system)},
        {"/lib/modules/6.1.0", forced(C::system)},
        {"/lib32", forced(C::system)},
        {"/lib64", forced(C::system)},
        {"/libx32/gconv", forced(C::system)},
        {"/usr/lib/x86_64-linux-gnu", forced(C::system)},
        {"/tmp/build", forced(C::system)},
        {"/etcetera", none},
        {"/library", forced(C::system)},     // the macOS rule, kept
        {"/libexec", none},
        // Served data and mounted media are people's, not the system's.
        {"/srv/www", none},
        {"/srv", none},
        {"/media/ann/usb", none},
        {"/mnt/data", none},
        {"/opt/google/chrome", none},
        // Narrower rules of earlier groups still win inside a system tree.
        {"/var/lib/app/node_modules/left-pad", forced(C::nodeJS)},
        {"/etc/project/.git/objects", forced(C::git)},
        {"/usr/share/app.app/contents", forced(C::applications)},
        {"/var/cache/app/.git", forced(C::git)},
        {"/VAR/LOG/Xorg", forced(C::logs)},
        // The macOS places keep their verdicts.
        {"/private/var/log/asl", forced(C::logs)},
        {"/private/var/folders/xy", forced(C::caches)},
        {"/private/var/db", forced(C::system)},
        {"/cores", forced(C::system)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(categorizer.context(c.folder), c.expected) << c.folder;
    EXPECT_EQ(StorageCategorizer::category("gz", categorizer.context("/var/log/apt")), C::logs);
    EXPECT_EQ(StorageCategorizer::category("deb", categorizer.context("/var/cache/apt/archives")), C::caches);

    // A home kept inside a system tree is still the user's.
    const StorageCategorizer inVar("/var/home/ann");
    const Case homeCases[] = {
        {"/var/home/ann", none},
        {"/var/home/ann/Downloads", fallback(C::downloads)},
        {"/var/home/ann/.cache/thumbnails", forced(C::caches)},
        {"/var/home/ann/notes", none},
        {"/var/lib", forced(C::system)},
        {"/var/log", forced(C::logs)},
    };
    for (const auto& c : homeCases)
        EXPECT_EQ(inVar.context(c.folder), c.expected) << c.folder;
}

TEST(StorageCategorizer, HomeRulesFollowTheHomeFolder)
{
    // A Linux home; the rules apply to whatever home the scan gives.
    const StorageCategorizer categorizer("/home/ann");
    EXPECT_EQ(categorizer.context("/home/ann/Downloads/x"), fallback(C::downloads));
    EXPECT_EQ(categorizer.context("/home/ann/.cache/yarn/v6"), forced(C::yarn));
    EXPECT_EQ(categorizer.context("/home/ann/.cache/thumbnails"), forced(C::caches));
    EXPECT_EQ(categorizer.context("/home/bob/Downloads"), none);
    EXPECT_EQ(categorizer.context("/home/annie/Downloads"), none);
    // Non-ASCII letters are lower-cased too before the rules compare.
    EXPECT_EQ(StorageCategorizer("/home/Ängel").context("/home/Ängel/Downloads"), none);
    EXPECT_EQ(StorageCategorizer(CaseFolding::lowercased("/home/Ängel")).context("/HOME/ÄNGEL/Downloads"),
              fallback(C::downloads));
}

TEST(StorageCategorizer, ExtensionsGiveWayToForcedButNotToFallbackForImagesAndArchives)
{
    struct Case { const char* extension; Context context; C expected; };
    const Case cases[] = {
        {"zip", fallback(C::downloads), C::archives},
        {"vmdk", fallback(C::downloads), C::virtualMachines},
        {"jpg", fallback(C::downloads), C::downloads},
        {"", fallback(C::downloads), C::downloads},
        {"pdf", fallback(C::photos), C::photos},
        {"zip", forced(C::git), C::git},
        {"qcow2", forced(C::caches), C::caches},
        {"pdf", none, C::documents},
        {"swift", none, C::developer},
        {"wasm", none, C::developer},
        {"img", none, C::archives},
        {"jxl", none, C::photos},
        {"vob", none, C::videos},
        {"wma", none, C::music},
        {"odp", none, C::documents},
        {"ovf", none, C::virtualMachines},
        {"xyz", none, C::other},
        {"", none, C::other},
        {"JPG", none, C::other},   // callers lower-case; the sets hold lower case only
    };
    for (const auto& c : cases)
        EXPECT_EQ(StorageCategorizer::category(c.extension, c.context), c.expected) << c.extension;
}

TEST(StorageCategorizer, EveryListedExtensionAndNothingCloseToOne)
{
    struct Set { C category; std::vector<std::string> extensions; };
    const Set sets[] = {
        {C::virtualMachines, {"vmdk", "vdi", "qcow2", "vhd", "vhdx", "hdd", "ova", "ovf"}},
        {C::archives, {"zip", "tar", "gz", "tgz", "bz2", "tbz", "xz", "txz", "zst", "7z", "rar", "dmg", "iso", "xip",
                       "pkg", "mpkg", "sparseimage", "cpgz", "lz4", "jar", "ipa", "apk", "aab", "img"}},
        {C::photos, {"jpg", "jpeg", "png", "heic", "heif", "gif", "tif", "tiff", "raw", "cr2", "cr3", "nef", "arw",
                     "dng", "orf", "raf", "rw2", "webp", "bmp", "psd", "avif", "jxl"}},
        {C::videos, {"mov", "mp4", "m4v", "avi", "mkv", "wmv", "flv", "webm", "mpg", "mpeg", "3gp", "mts", "m2ts",
                     "braw", "r3d", "vob"}},
        {C::music, {"mp3", "aac", "m4a", "flac", "wav", "aif", "aiff", "alac", "ogg", "opus", "mid", "midi", "caf",
                    "wma"}},
        {C::developer, {"swift", "m", "mm", "h", "hpp", "c", "cc", "cpp", "cxx", "js", "mjs", "cjs", "ts", "tsx",
                        "jsx", "py", "pyc", "rb", "go", "rs", "java", "kt", "kts", "scala", "cs", "php", "dart", "lua",
                        "sh", "zsh", "o", "a", "dylib", "so", "xcarchive", "dsym", "pbxproj", "gradle", "class",
                        "wasm"}},
        {C::documents, {"pdf", "doc", "docx", "pages", "key", "numbers", "xls", "xlsx", "ppt", "pptx", "txt", "rtf",
                        "rtfd", "md", "csv", "epub", "odt", "ods", "odp"}},
    };
    std::set<std::string> listed;
    for (const auto& set : sets)
        for (const auto& extension : set.extensions) {
            listed.insert(extension);
            EXPECT_EQ(StorageCategorizer::category(extension, none), set.category) << extension;
        }
    EXPECT_EQ(listed.size(), 143u);
    // Longer and shorter spellings, other cases and a zero byte name no set.
    for (const auto& extension : listed) {
        for (const std::string& near : std::vector<std::string>{extension + "x", extension.substr(1), extension + std::string(1, '\0'),
                                       std::string(1, '\0') + extension, "x" + extension}) {
            if (!listed.count(near)) {
                EXPECT_EQ(StorageCategorizer::category(near, none), C::other) << extension << " as " << near;
            }
        }
        std::string upper = extension;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper != extension) {
            EXPECT_EQ(StorageCategorizer::category(upper, none), C::other) << upper;
        }
    }
    EXPECT_EQ(StorageCategorizer::category("sparseimagesparseimage", none), C::other);
    EXPECT_EQ(StorageCategorizer::category("0123456789abcdef", none), C::other);
}

TEST(CaseFolding, FoldsCaseAndCanonicalSpellings)
{
    EXPECT_EQ(CaseFolding::lowercased("/Users/ANN"), "/users/ann");
    EXPECT_EQ(CaseFolding::lowercased("/ÄRGER/Ωmega"), "/ärger/ωmega");
    // "é" precomposed and as "e" plus a combining acute accent fold alike.
    EXPECT_EQ(CaseFolding::lowercased("Caf\xC3\x89"), CaseFolding::lowercased("CAFE\xCC\x81"));
    EXPECT_EQ(CaseFolding::lowercased(""), "");
}
