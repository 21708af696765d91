#include "index/StorageCategorizer.h"

#include "index/CaseFolding.h"
#include "platform/LinuxSystemPlaces.h"
#include "platform/TrashFolders.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {

using C = StorageCategory;

// The seven extension sets, in the order the category rules try them.
enum class ExtensionSet : std::uint8_t { none, virtualMachine, archive, photo, video, audio, source, document };

// Which set holds an extension, found with one probe of a small open-addressing table: a
// file costs one lookup instead of one hash per set.
class ExtensionTable {
public:
    ExtensionTable()
    {
        add(ExtensionSet::virtualMachine, {"vmdk", "vdi", "qcow2", "vhd", "vhdx", "hdd", "ova", "ovf"});
        add(ExtensionSet::archive, {"zip", "tar", "gz",  "tgz",  "bz2", "tbz",  "xz",   "txz",         "zst",  "7z",  "rar", "dmg",
                                    "iso", "xip", "pkg", "mpkg", "sparseimage", "cpgz", "lz4", "jar", "ipa", "apk", "aab", "img"});
        add(ExtensionSet::photo, {"jpg", "jpeg", "png", "heic", "heif", "gif", "tif", "tiff", "raw",  "cr2", "cr3",
                                  "nef", "arw",  "dng", "orf",  "raf",  "rw2", "webp", "bmp", "psd", "avif", "jxl"});
        add(ExtensionSet::video, {"mov", "mp4", "m4v", "avi", "mkv", "wmv", "flv", "webm",
                                  "mpg", "mpeg", "3gp", "mts", "m2ts", "braw", "r3d", "vob"});
        add(ExtensionSet::audio,
            {"mp3", "aac", "m4a", "flac", "wav", "aif", "aiff", "alac", "ogg", "opus", "mid", "midi", "caf", "wma"});
        add(ExtensionSet::source, {"swift", "m",   "mm",   "h",     "hpp",  "c",     "cc",    "cpp",    "cxx",      "js",
                                   "mjs",   "cjs", "ts",   "tsx",   "jsx",  "py",    "pyc",   "rb",     "go",       "rs",
                                   "java",  "kt",  "kts",  "scala", "cs",   "php",   "dart",  "lua",    "sh",       "zsh",
                                   "o",     "a",   "dylib", "so",   "xcarchive", "dsym", "pbxproj", "gradle", "class", "wasm"});
        add(ExtensionSet::document, {"pdf", "doc", "docx", "pages", "key", "numbers", "xls", "xlsx", "ppt", "pptx",
                                     "txt", "rtf", "rtfd", "md",    "csv", "epub",    "odt", "ods",  "odp"});
    }

    ExtensionSet find(std::string_view extension) const
    {
        if (extension.empty() || extension.size() >= sizeof(Key)) return ExtensionSet::none;
        const Key key = keyOf(extension);
        for (std::size_t slot = slotOf(key);; slot = (slot + 1) % slotCount) {
            const Slot& candidate = slots_[slot];
            if (candidate.set == ExtensionSet::none) return ExtensionSet::none;
            if (candidate.key == key) return candidate.set;
        }
    }

private:
    // The extension's bytes, zero-padded, with its length in the last byte.
    struct Key {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct Slot {
        Key key;
        ExtensionSet set = ExtensionSet::none;
    };
    static constexpr std::size_t slotCount = 512;   // a quarter full, so probes stay short

    static Key keyOf(std::string_view extension)
    {
        unsigned char bytes[sizeof(Key)] = {};
        std::memcpy(bytes, extension.data(), extension.size());
        bytes[sizeof(Key) - 1] = static_cast<unsigned char>(extension.size());
        Key key;
        std::memcpy(&key.low, bytes, sizeof key.low);
        std::memcpy(&key.high, bytes + sizeof key.low, sizeof key.high);
        return key;
    }

    static std::size_t slotOf(const Key& key)
    {
        const std::uint64_t mixed = key.low * 0x9E3779B97F4A7C15ull ^ key.high * 0xC2B2AE3D27D4EB4Full;
        return static_cast<std::size_t>(mixed >> 55) % slotCount;
    }

    // An extension already in an earlier set keeps that set, as the rules try the sets in order.
    void add(ExtensionSet set, std::initializer_list<std::string_view> extensions)
    {
        for (const auto extension : extensions) {
            const Key key = keyOf(extension);
            std::size_t slot = slotOf(key);
            while (slots_[slot].set != ExtensionSet::none && !(slots_[slot].key == key)) slot = (slot + 1) % slotCount;
            if (slots_[slot].set == ExtensionSet::none) slots_[slot] = Slot{key, set};
        }
    }

    std::array<Slot, slotCount> slots_{};
};

const ExtensionTable& extensionTable()
{
    // Function-local statics are initialized once, safely against concurrent first use.
    static const ExtensionTable table;
    return table;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The rules of the groups below that look anywhere in a path rather than at its start, as
// those groups ask them. Each that holds for a folder holds for every folder below it, so a
// trail carries them as bits, in this order.
enum class Look : std::uint8_t { component, componentBetween, text, volumeTrash };

struct AnywhereRule {
    Look look = Look::component;
    std::string_view first{};
    std::string_view second{};
    friend constexpr bool operator==(const AnywhereRule&, const AnywhereRule&) = default;
};

constexpr std::array anywhereRules = {
    AnywhereRule{.look = Look::component, .first = "node_modules"},
    AnywhereRule{.look = Look::component, .first = ".yarn/cache"},
    AnywhereRule{.look = Look::component, .first = ".pnpm-store"},
    AnywhereRule{.look = Look::component, .first = ".git"},
    AnywhereRule{.look = Look::componentBetween, .first = "xcode", .second = ".app"},
    AnywhereRule{.look = Look::text, .first = "/google/androidstudio"},
    AnywhereRule{.look = Look::componentBetween, .second = ".vmwarevm"},
    AnywhereRule{.look = Look::componentBetween, .second = ".pvm"},
    AnywhereRule{.look = Look::componentBetween, .second = ".utm"},
    AnywhereRule{.look = Look::component, .first = ".trashes"},
    AnywhereRule{.look = Look::volumeTrash},
    AnywhereRule{.look = Look::component, .first = "deriveddata"},
    AnywhereRule{.look = Look::componentBetween, .second = ".app"},
};
static_assert(anywhereRules.size() <= 32, "a trail keeps them in 32 bits");

// Bytes of a folder's parent path read again for the rules that look anywhere: a rule that
// starts to hold at a folder holds within its name and the few bytes above it.
constexpr std::size_t tailBytes = 64;

// True when `test` holds for some non-empty component of `text`, given with the one before it.
template <class Test>
bool anyComponent(std::string_view text, const Test& test)
{
    std::string_view previous;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('/', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view component = text.substr(start, end - start);
        if (!component.empty()) {
            if (test(component, previous))
                return true;
            previous = component;
        }
        start = end + 1;
    }
    return false;
}

bool holds(const AnywhereRule& rule, std::string_view text)
{
    switch (rule.look) {
    case Look::component:
        // "/" + the name, followed by "/" or by the end.
        for (size_t at = text.find(rule.first, 1); at != std::string_view::npos; at = text.find(rule.first, at + 1)) {
            const size_t end = at + rule.first.size();
            if (text[at - 1] == '/' && (end == text.size() || text[end] == '/'))
                return true;
        }
        return false;
    case Look::componentBetween:
        return anyComponent(text, [&](std::string_view component, std::string_view) {
            return startsWith(component, rule.first) && endsWith(component, rule.second);
        });
    case Look::text:
        return text.find(rule.first) != std::string_view::npos;
    case Look::volumeTrash: {
        // A volume's freedesktop.org Trash of some user: a component ".trash-<uid>", or ".trash" then "<uid>".
        const auto isNumber = [](std::string_view digits) {
            return !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
        };
        return anyComponent(text, [&](std::string_view component, std::string_view previous) {
            return (startsWith(component, ".trash-") && isNumber(component.substr(7))) ||
                   (previous == ".trash" && isNumber(component));
        });
    }
    }
    return false;
}

// How far above a folder's own "/" and name a rule that starts to hold there may begin.
std::size_t lookBack(const AnywhereRule& rule)
{
    switch (rule.look) {
    case Look::component:
        return rule.first.size();
    case Look::text:
        return rule.first.size() - 1;
    case Look::volumeTrash:
        return 1;   // the component above
    case Look::componentBetween:
        break;
    }
    return 0;
}

// A folder's lower-cased path as the rules read it.
struct RulePath {
    std::string_view start;     // the path, or its first bytes when `cut`
    bool cut = false;
    std::string_view tail;      // its end, from the "/" before a component on
    bool tailIsWhole = true;
    std::size_t tailAbove = 0;  // bytes of the tail before the folder's own "/" and name
    std::uint32_t inherited = 0;   // the rules looking anywhere that hold above the tail
};

class Matcher {
public:
    Matcher(const RulePath& path, std::string_view home, std::string_view homeTrash)
        : p_(path.start), cut_(path.cut), tail_(path.tail), tailIsWhole_(path.tailIsWhole), home_(home),
          homeTrash_(homeTrash), anywhere_(path.inherited)
    {
        for (std::size_t i = 0; i < anywhereRules.size(); ++i) {
            if (!tailIsWhole_ && path.tailAbove < lookBack(anywhereRules[i]))
                undecided_ = true;
            if (holds(anywhereRules[i], tail_))
                anywhere_ |= std::uint32_t{1} << i;
        }
    }

    // Whether the path as given could not tell every rule asked; the whole path can.
    bool undecided() const { return undecided_; }
    std::uint32_t anywhere() const { return anywhere_; }

    bool inHomeTrash() const { return isUnder(homeTrash_); }

    bool isUnder(std::string_view root) const
    {
        if (root == "/")
            return true;
        if (!reads(root.size() + 1))
            return false;
        return p_ == root || (p_.size() > root.size() && startsWith(p_, root) && p_[root.size()] == '/');
    }

    // isUnder(home + "/" + relative), without building that text for each of the many rules.
    bool underHome(std::string_view relative) const
    {
        if (!reads(home_.size() + relative.size() + 2))
            return false;
        if (!startsWith(p_, home_) || p_.size() <= home_.size() || p_[home_.size()] != '/')
            return false;
        const std::string_view rest = p_.substr(home_.size() + 1);
        return rest == relative ||
               (rest.size() > relative.size() && startsWith(rest, relative) && rest[relative.size()] == '/');
    }

    // The path holds "/" + name followed by "/" or by its end.
    bool hasComponent(std::string_view name) const { return ask({.look = Look::component, .first = name}); }

    bool hasComponentSuffix(std::string_view suffix) const { return hasComponentBetween("", suffix); }

    bool hasComponentBetween(std::string_view prefix, std::string_view suffix) const
    {
        return ask({.look = Look::componentBetween, .first = prefix, .second = suffix});
    }

    bool contains(std::string_view text) const { return ask({.look = Look::text, .first = text}); }

    // A volume's freedesktop.org Trash of some user.
    bool hasVolumeTrash() const { return ask({.look = Look::volumeTrash}); }

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

    // Inside a folder of the operating system, but not in the home, which some systems
    // keep inside one (/var/home).
    bool inLinuxSystemTree() const
    {
        for (const auto tree : LinuxSystemPlaces::trees())
            if (isUnder(tree))
                return home_.size() <= 1 || !isUnder(home_);
        return false;
    }

private:
    // Whether the start given holds the path's first `bytes` bytes, or all of a shorter path.
    bool reads(std::size_t bytes) const
    {
        if (!cut_ || bytes <= p_.size())
            return true;
        undecided_ = true;
        return false;
    }

    bool ask(const AnywhereRule& rule) const
    {
        for (std::size_t i = 0; i < anywhereRules.size(); ++i)
            if (anywhereRules[i] == rule)
                return (anywhere_ >> i & 1) != 0;
        // Not among those a trail carries: only the whole path tells.
        if (!tailIsWhole_)
            undecided_ = true;
        return holds(rule, tail_);
    }

    std::string_view p_;
    bool cut_;
    std::string_view tail_;
    bool tailIsWhole_;
    std::string_view home_;
    std::string_view homeTrash_;
    std::uint32_t anywhere_;
    mutable bool undecided_ = false;
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
        m.anyUnder({"/applications/docker.app", "/applications/orbstack.app", "/var/lib/docker",
                    "/var/lib/containers"}))
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
        m.isUnder("/private/var/folders") || m.hasComponent("deriveddata") || m.isUnder("/var/cache"))
        return C::caches;
    if (m.underHome("library/logs") || m.anyUnder({"/library/logs", "/private/var/log", "/private/var/logs"}) ||
        m.isUnder("/var/log"))
        return C::logs;
    if (m.hasComponentSuffix(".app") || m.isUnder("/applications") || m.underHome("applications"))
        return C::applications;
    if (m.anyUnder({"/system", "/usr", "/bin", "/sbin", "/private", "/cores", "/library"}) || m.inLinuxSystemTree())
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
    if (m.underHome("movies") || m.underHome("videos"))
        return C::videos;
    if (m.underHome("music"))
        return C::music;
    return std::nullopt;
}

StorageCategorizer::FolderContext decide(const Matcher& matcher)
{
    if (const auto forced = forcedCategory(matcher))
        return {forced, std::nullopt};
    return {std::nullopt, fallbackCategory(matcher)};
}

} // namespace

StorageCategorizer::StorageCategorizer(std::string home)
    : home_(std::move(home)), homeTrash_(CaseFolding::lowercased(TrashFolders::home(home_)))
{
}

StorageCategorizer::FolderContext StorageCategorizer::context(std::string_view folderPath) const
{
    Trail trail;
    return context(folderPath, nullptr, trail);
}

StorageCategorizer::FolderContext StorageCategorizer::context(std::string_view folderPath, const Trail* parent,
                                                              Trail& trail) const
{
    if (parent && parent->start)
        if (const auto derived = contextBelow(folderPath, *parent, trail))
            return *derived;
    const std::string lowered = CaseFolding::lowercased(folderPath);
    const Matcher matcher(RulePath{.start = lowered, .tail = lowered}, home_, homeTrash_);
    trail = Trail{.start = std::make_shared<const std::string>(lowered.substr(0, startLimit)),
                  .cut = lowered.size() > startLimit,
                  .anywhere = matcher.anywhere()};
    return decide(matcher);
}

std::optional<StorageCategorizer::FolderContext> StorageCategorizer::contextBelow(std::string_view folderPath,
                                                                                 const Trail& parent,
                                                                                 Trail& trail) const
{
    const std::size_t slash = folderPath.rfind('/');
    if (slash == std::string_view::npos || slash + 1 == folderPath.size())
        return std::nullopt;
    // From the "/" before the parent's last components, about `tailBytes` of them.
    std::size_t from = slash;
    while (from > 0 && slash - from < tailBytes) {
        from = folderPath.rfind('/', from - 1);
        if (from == std::string_view::npos)
            return std::nullopt;
    }
    // Lower-casing a path and lower-casing each of its components give the same text: a "/"
    // ends every context the mapping and the composition look at.
    const std::string tail = CaseFolding::lowercased(folderPath.substr(from));
    const std::size_t nameAt = tail.rfind('/');
    trail.cut = parent.cut;
    trail.start = parent.start;
    if (!parent.cut) {
        std::string start;
        start.reserve(std::min(parent.start->size() + tail.size() - nameAt, startLimit));
        start = *parent.start;
        start.append(tail, *parent.start == "/" ? nameAt + 1 : nameAt);
        if (start.size() > startLimit) {
            start.resize(startLimit);
            trail.cut = true;
        }
        trail.start = std::make_shared<const std::string>(std::move(start));
    }
    const Matcher matcher(RulePath{.start = *trail.start,
                                   .cut = trail.cut,
                                   .tail = tail,
                                   .tailIsWhole = from == 0,
                                   .tailAbove = nameAt,
                                   .inherited = parent.anywhere},
                          home_, homeTrash_);
    const FolderContext result = decide(matcher);
    if (matcher.undecided())
        return std::nullopt;
    trail.anywhere = matcher.anywhere();
    return result;
}

StorageCategory StorageCategorizer::category(std::string_view extension, const FolderContext& context)
{
    if (context.forcedCategory)
        return *context.forcedCategory;
    const ExtensionSet set = extensionTable().find(extension);
    if (set == ExtensionSet::virtualMachine)
        return C::virtualMachines;
    if (set == ExtensionSet::archive)
        return C::archives;
    if (context.fallbackCategory)
        return *context.fallbackCategory;
    switch (set) {
    case ExtensionSet::photo:
        return C::photos;
    case ExtensionSet::video:
        return C::videos;
    case ExtensionSet::audio:
        return C::music;
    case ExtensionSet::source:
        return C::developer;
    case ExtensionSet::document:
        return C::documents;
    case ExtensionSet::none:
    case ExtensionSet::virtualMachine:
    case ExtensionSet::archive:
        break;
    }
    return C::other;
}
