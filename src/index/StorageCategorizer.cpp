#include "index/StorageCategorizer.h"

#include "index/CaseFolding.h"
#include "platform/TrashFolders.h"

#include <initializer_list>
#include <unordered_set>

namespace {

using C = StorageCategory;

struct ExtensionSets {
    using Set = std::unordered_set<std::string_view>;
    Set virtualMachine{"vmdk", "vdi", "qcow2", "vhd", "vhdx", "hdd", "ova", "ovf"};
    Set archive{"zip", "tar", "gz",  "tgz",  "bz2", "tbz",  "xz",   "txz",         "zst",  "7z",  "rar", "dmg",
                "iso", "xip", "pkg", "mpkg", "sparseimage", "cpgz", "lz4", "jar", "ipa", "apk", "aab", "img"};
    Set photo{"jpg", "jpeg", "png", "heic", "heif", "gif", "tif", "tiff", "raw",  "cr2", "cr3",
              "nef", "arw",  "dng", "orf",  "raf",  "rw2", "webp", "bmp", "psd", "avif", "jxl"};
    Set video{"mov", "mp4", "m4v", "avi", "mkv", "wmv", "flv", "webm",
              "mpg", "mpeg", "3gp", "mts", "m2ts", "braw", "r3d", "vob"};
    Set audio{"mp3", "aac", "m4a", "flac", "wav", "aif", "aiff", "alac", "ogg", "opus", "mid", "midi", "caf", "wma"};
    Set source{"swift", "m",   "mm",   "h",     "hpp",  "c",     "cc",    "cpp",    "cxx",      "js",
               "mjs",   "cjs", "ts",   "tsx",   "jsx",  "py",    "pyc",   "rb",     "go",       "rs",
               "java",  "kt",  "kts",  "scala", "cs",   "php",   "dart",  "lua",    "sh",       "zsh",
               "o",     "a",   "dylib", "so",   "xcarchive", "dsym", "pbxproj", "gradle", "class", "wasm"};
    Set document{"pdf", "doc", "docx", "pages", "key", "numbers", "xls", "xlsx", "ppt", "pptx",
                 "txt", "rtf", "rtfd", "md",    "csv", "epub",    "odt", "ods",  "odp"};
};

const ExtensionSets& extensionSets()
{
    // Function-local statics are initialized once, safely against concurrent first use.
    static const ExtensionSets sets;
    return sets;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

class Matcher {
public:
    Matcher(std::string_view path, std::string_view home, std::string_view homeTrash)
        : p_(path), home_(home), homeTrash_(homeTrash)
    {
    }

    bool inHomeTrash() const { return isUnder(homeTrash_); }

    bool isUnder(std::string_view root) const
    {
        return root == "/" || p_ == root ||
               (p_.size() > root.size() && startsWith(p_, root) && p_[root.size()] == '/');
    }

    bool underHome(std::string_view relative) const
    {
        std::string root(home_);
        root += '/';
        root += relative;
        return isUnder(root);
    }

    bool hasComponent(std::string_view name) const
    {
        std::string needle = "/";
        needle += name;
        if (endsWith(p_, needle))
            return true;
        needle += '/';
        return p_.find(needle) != std::string_view::npos;
    }

    bool hasComponentSuffix(std::string_view suffix) const { return hasComponentBetween("", suffix); }

    bool hasComponentBetween(std::string_view prefix, std::string_view suffix) const
    {
        return anyComponent([&](std::string_view component, std::string_view) {
            return startsWith(component, prefix) && endsWith(component, suffix);
        });
    }

    bool contains(std::string_view text) const { return p_.find(text) != std::string_view::npos; }

    // A volume's freedesktop.org Trash of some user: a component ".trash-<uid>", or ".trash" then "<uid>".
    bool hasVolumeTrash() const
    {
        const auto isNumber = [](std::string_view text) {
            return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
        };
        return anyComponent([&](std::string_view component, std::string_view previous) {
            return (startsWith(component, ".trash-") && isNumber(component.substr(7))) ||
                   (previous == ".trash" && isNumber(component));
        });
    }

    bool anyUnderHome(std::initializer_list<std::string_view> relatives) const
    {
        for (const auto relative : relatives)
            if (underHome(relative))
                return true;
        return false;
    }

    bool anyUnder(std::initializer_list<std::string_view> roots) const
    {
        for (const auto root : roots)
            if (isUnder(root))
                return true;
        return false;
    }

private:
    // True when `test` holds for some non-empty component of the path, given with the one before it.
    template <class Test>
    bool anyComponent(const Test& test) const
    {
        std::string_view previous;
        size_t start = 0;
        while (start <= p_.size()) {
            size_t end = p_.find('/', start);
            if (end == std::string_view::npos)
                end = p_.size();
            const std::string_view component = p_.substr(start, end - start);
            if (!component.empty()) {
                if (test(component, previous))
                    return true;
                previous = component;
            }
            start = end + 1;
        }
        return false;
    }

    std::string_view p_;
    std::string_view home_;
    std::string_view homeTrash_;
};

std::optional<C> forcedCategory(const Matcher& m)
{
    if (m.hasComponent("node_modules") || m.anyUnderHome({".nvm", ".node-gyp", ".volta", ".fnm"}))
        return C::nodeJS;
    if (m.underHome(".npm"))
        return C::npm;
    if (m.anyUnderHome({"library/caches/yarn", ".yarn", ".cache/yarn"}) || m.hasComponent(".yarn/cache"))
        return C::yarn;
    if (m.underHome("library/pnpm") || m.hasComponent(".pnpm-store") ||
        m.anyUnderHome({".local/share/pnpm", ".cache/pnpm"}))
        return C::pnpm;
    if (m.hasComponent(".git"))
        return C::git;
    if (m.anyUnderHome({"library/developer/xcode", "library/developer/coresimulator", "library/developer/xcpgdevices",
                        "library/developer/dvtdownloads", "library/caches/com.apple.dt.xcode"}) ||
        m.isUnder("/applications/xcode.app") ||
        (m.isUnder("/applications") && m.hasComponentBetween("xcode", ".app")) ||
        m.isUnder("/library/developer/coresimulator"))
        return C::xcode;
    if (m.anyUnderHome({"library/containers/com.docker.docker", "library/group containers/group.com.docker",
                        ".docker", ".orbstack", "library/group containers/hug.orbstack", ".colima", ".lima", ".rd",
                        "library/application support/rancher-desktop", ".local/share/containers",
                        "library/application support/docker desktop"}) ||
        m.anyUnder({"/applications/docker.app", "/applications/orbstack.app"}))
        return C::docker;
    if (m.anyUnderHome({".android", ".gradle", "library/android"}) || m.contains("/google/androidstudio") ||
        m.isUnder("/applications/android studio.app"))
        return C::android;
    if (m.underHome("library/application support/mobilesync/backup"))
        return C::iOSBackups;
    if (m.anyUnderHome({"library/containers/com.utmapp.utm", "parallels", "virtual machines.localized",
                        "virtualbox vms"}) ||
        m.hasComponentSuffix(".vmwarevm") || m.hasComponentSuffix(".pvm") || m.hasComponentSuffix(".utm") ||
        m.underHome("library/containers/com.apple.virtualization"))
        return C::virtualMachines;
    if (m.underHome(".trash") || m.isUnder("/.trashes") || m.hasComponent(".trashes") || m.inHomeTrash() ||
        m.hasVolumeTrash())
        return C::trash;
    if (m.anyUnderHome({"library/mail", "library/messages", "library/containers/com.apple.mail"}))
        return C::mail;
    if (m.anyUnderHome({"library/mobile documents", "library/cloudstorage"}))
        return C::cloudStorage;
    if (m.underHome("library/caches") || m.isUnder("/library/caches") || m.underHome(".cache") ||
        m.isUnder("/private/var/folders") || m.hasComponent("deriveddata"))
        return C::caches;
    if (m.underHome("library/logs") || m.anyUnder({"/library/logs", "/private/var/log", "/private/var/logs"}))
        return C::logs;
    if (m.hasComponentSuffix(".app") || m.isUnder("/applications") || m.underHome("applications"))
        return C::applications;
    if (m.anyUnder({"/system", "/usr", "/bin", "/sbin", "/private", "/cores", "/library"}))
        return C::system;
    if (m.isUnder("/opt/homebrew") ||
        m.anyUnderHome({".cargo", ".rustup", ".pyenv", ".rbenv", ".m2", "go/pkg", "developer", ".conda",
                        "miniconda3", "anaconda3", ".bun", ".deno", ".swiftpm"}))
        return C::developer;
    return std::nullopt;
}

std::optional<C> fallbackCategory(const Matcher& m)
{
    if (m.underHome("downloads"))
        return C::downloads;
    if (m.underHome("desktop"))
        return C::desktop;
    if (m.underHome("documents"))
        return C::documents;
    if (m.underHome("pictures"))
        return C::photos;
    if (m.underHome("movies"))
        return C::videos;
    if (m.underHome("music"))
        return C::music;
    return std::nullopt;
}

} // namespace

StorageCategorizer::StorageCategorizer(std::string home)
    : home_(std::move(home)), homeTrash_(CaseFolding::lowercased(TrashFolders::home(home_)))
{
}

StorageCategorizer::FolderContext StorageCategorizer::context(std::string_view folderPath) const
{
    const std::string lowered = CaseFolding::lowercased(folderPath);
    const Matcher matcher(lowered, home_, homeTrash_);
    if (const auto forced = forcedCategory(matcher))
        return {forced, std::nullopt};
    return {std::nullopt, fallbackCategory(matcher)};
}

StorageCategory StorageCategorizer::category(std::string_view extension, const FolderContext& context)
{
    if (context.forcedCategory)
        return *context.forcedCategory;
    const ExtensionSets& sets = extensionSets();
    if (sets.virtualMachine.count(extension))
        return C::virtualMachines;
    if (sets.archive.count(extension))
        return C::archives;
    if (context.fallbackCategory)
        return *context.fallbackCategory;
    if (sets.photo.count(extension))
        return C::photos;
    if (sets.video.count(extension))
        return C::videos;
    if (sets.audio.count(extension))
        return C::music;
    if (sets.source.count(extension))
        return C::developer;
    if (sets.document.count(extension))
        return C::documents;
    return C::other;
}
