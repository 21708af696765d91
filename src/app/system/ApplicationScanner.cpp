#include "app/system/ApplicationScanner.h"

#include "app/system/MachOInspector.h"
#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/SystemPaths.h"
#include "scanning/DirectoryReader.h"

#include <plist/plist.h>
#include <unicode/ucol.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <set>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Kind = ApplicationStorageBreakdown::Entry::Kind;

constexpr std::size_t maxInfoPlistBytes = 8 * 1024 * 1024;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistDeleter>;

// The Info.plist of a bundle, XML or binary; an empty dictionary stands in for
// a missing or unparsable file.
class InfoDictionary {
public:
    explicit InfoDictionary(const std::string& bundlePath)
    {
        const auto bytes = RegularFile::read(bundlePath + "/Contents/Info.plist", maxInfoPlistBytes);
        if (!bytes || bytes->empty())
            return;
        plist_t parsed = nullptr;
        plist_from_memory(bytes->data(), static_cast<std::uint32_t>(bytes->size()), &parsed);
        root_.reset(parsed);
        if (root_ && plist_get_node_type(root_.get()) != PLIST_DICT)
            root_.reset();
    }

    // Only string values count.
    std::optional<std::string> string(const char* key) const
    {
        if (!root_)
            return std::nullopt;
        plist_t item = plist_dict_get_item(root_.get(), key);
        if (!item || plist_get_node_type(item) != PLIST_STRING)
            return std::nullopt;
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(item, &length);
        if (!text)
            return std::nullopt;
        return std::string(text, static_cast<std::size_t>(length));
    }

private:
    Plist root_;
};

std::string nameWithoutExtension(const std::string& path)
{
    std::string name = Paths::lastComponent(path);
    if (const auto extension = Paths::extension(name); !extension.empty())
        name.resize(name.size() - extension.size() - 1);
    return name;
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string resolved(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string result(real);
    std::free(real);
    return result;
}

// A value from Info.plist that becomes one path component under the Library.
bool isSafeComponent(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

std::string statusCodeText(CodeSigning::Status status)
{
    return "OSStatus " + std::to_string(status);
}

// The platform says so when it has no signature service at all; that is told as
// such rather than as a broken signature.
std::optional<CodeSignatureStatus> serviceMissing(const CodeSigning& signing, CodeSigning::Status status)
{
    if (status != CodeSigning::unimplemented)
        return std::nullopt;
    return CodeSignatureStatus::unavailable(signing.errorMessage(status).value_or(statusCodeText(status)));
}

} // namespace

void ApplicationScanner::sortByName(std::vector<ApplicationInfo>& apps)
{
    UErrorCode error = U_ZERO_ERROR;
    UCollator* collator = ucol_open("", &error);
    if (U_FAILURE(error) || !collator) {
        std::stable_sort(apps.begin(), apps.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        return;
    }
    // Case is ignored and digit runs compare by value, as a file browser sorts.
    ucol_setStrength(collator, UCOL_SECONDARY);
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &error);
    std::stable_sort(apps.begin(), apps.end(), [&](const ApplicationInfo& a, const ApplicationInfo& b) {
        UErrorCode compareError = U_ZERO_ERROR;
        return ucol_strcollUTF8(collator, a.name.data(), static_cast<int32_t>(a.name.size()), b.name.data(),
                                static_cast<int32_t>(b.name.size()), &compareError)
            == UCOL_LESS;
    });
    ucol_close(collator);
}

const std::vector<std::string>& ApplicationScanner::defaultDirectories()
{
    static const std::vector<std::string> directories{
        "/Applications",
        SystemPaths::homeDirectory() + "/Applications",
        "/System/Applications",
    };
    return directories;
}

std::vector<ApplicationInfo> ApplicationScanner::scanApplications(const CodeSigning& signing) const
{
    std::vector<ApplicationInfo> apps;
    for (const auto& path : findApplicationBundles())
        if (auto app = readApplication(path, signing))
            apps.push_back(std::move(*app));
    sortByName(apps);
    return apps;
}

std::vector<std::string> ApplicationScanner::findApplicationBundles() const
{
    std::vector<std::string> found;
    std::unordered_set<std::string> resolvedPaths;
    for (const auto& folder : directories)
        visit(folder, 0, found, resolvedPaths);
    return found;
}

void ApplicationScanner::visit(const std::string& folder, int depth, std::vector<std::string>& found,
                               std::unordered_set<std::string>& resolvedPaths) const
{
    // Entries are gathered first so that only one folder is open at a time; they are
    // handled in listing order, each subfolder searched before the next entry.
    std::vector<RawDirectoryEntry> entries;
    (void)DirectoryReader().read(folder, [&](const RawDirectoryEntry& entry) {
        if (entry.hasValidName && !entry.name.starts_with("."))
            entries.push_back(entry);
    });
    const std::string prefix = folder == "/" ? "/" : folder + "/";
    for (const auto& entry : entries) {
        const std::string path = prefix + entry.name;
        if (Paths::asciiLowercased(entry.name).ends_with(".app")) {
            if (entry.kind == RawDirectoryEntry::Kind::directory || entry.kind == RawDirectoryEntry::Kind::symlink)
                if (resolvedPaths.insert(resolved(path)).second)
                    found.push_back(path);
        } else if (entry.kind == RawDirectoryEntry::Kind::directory && depth < 2) {
            visit(path, depth + 1, found, resolvedPaths);
        }
    }
}

std::optional<ApplicationInfo> ApplicationScanner::readApplication(const std::string& path, const CodeSigning& signing)
{
    try {
        const InfoDictionary info(path);
        ApplicationInfo app;
        const auto nonEmpty = [&](const char* key) {
            auto value = info.string(key);
            return value && !value->empty() ? value : std::nullopt;
        };
        if (auto name = nonEmpty("CFBundleDisplayName"))
            app.name = std::move(*name);
        else if (auto bundleName = nonEmpty("CFBundleName"))
            app.name = std::move(*bundleName);
        else
            app.name = nameWithoutExtension(path);
        app.path = path;
        app.bundleIdentifier = info.string("CFBundleIdentifier");
        app.version = info.string("CFBundleShortVersionString");
        app.build = info.string("CFBundleVersion");
        app.minimumSystemVersion = info.string("LSMinimumSystemVersion");
        app.copyright = info.string("NSHumanReadableCopyright");
        app.executableName = info.string("CFBundleExecutable");
        if (app.executableName)
            app.architectures = executableArchitectures(path, *app.executableName);

        auto identity = signingIdentity(path, signing);
        const std::string lowered = Paths::asciiLowercased(path);
        app.isSystemApp = lowered == "/system" || lowered.starts_with("/system/");
        app.isAppStoreApp = exists(path + "/Contents/_MASReceipt/receipt");
        app.developer = app.isSystemApp ? std::optional<std::string>("Apple") : std::move(identity.developer);
        app.teamIdentifier = std::move(identity.teamIdentifier);
        app.signature = std::move(identity.status);
        app.lastUsed = lastUsedDate(path);
        return app;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::vector<CPUArchitecture> ApplicationScanner::executableArchitectures(const std::string& bundlePath,
                                                                         const std::string& executableName)
{
    if (!isSafeComponent(executableName))
        return {};
    const std::string executable = bundlePath + "/Contents/MacOS/" + executableName;
    // A link may point anywhere; only an executable that really lies in the bundle is read.
    if (!Paths::isWithin(resolved(executable), resolved(bundlePath)))
        return {};
    return MachOInspector::architectures(executable);
}

std::optional<double> ApplicationScanner::lastUsedDate(const std::string&)
{
    return std::nullopt;
}

std::vector<ApplicationScanner::DataLocation> ApplicationScanner::dataLocations(const ApplicationInfo& app,
                                                                                const std::string& home)
{
    const std::string library = home + "/Library";
    std::vector<DataLocation> candidates;

    const std::optional<std::string> id =
        app.bundleIdentifier && isSafeComponent(*app.bundleIdentifier) ? app.bundleIdentifier : std::nullopt;
    std::vector<std::string> keys;
    if (id)
        keys.push_back(*id);
    if (isSafeComponent(app.name) && std::find(keys.begin(), keys.end(), app.name) == keys.end())
        keys.push_back(app.name);
    for (const auto& key : keys) {
        candidates.push_back({Kind::data, library + "/Application Support/" + key});
        candidates.push_back({Kind::cache, library + "/Caches/" + key});
        candidates.push_back({Kind::logs, library + "/Logs/" + key});
    }
    if (id) {
        candidates.push_back({Kind::containers, library + "/Containers/" + *id});
        candidates.push_back({Kind::cache, library + "/HTTPStorages/" + *id});
        candidates.push_back({Kind::preferences, library + "/Preferences/" + *id + ".plist"});
        candidates.push_back({Kind::savedState, library + "/Saved Application State/" + *id + ".savedState"});
    }
    if (app.teamIdentifier && isSafeComponent(*app.teamIdentifier)) {
        const std::string groups = library + "/Group Containers";
        const std::string prefix = *app.teamIdentifier + ".";
        (void)DirectoryReader().read(groups, [&](const RawDirectoryEntry& entry) {
            if (entry.kind == RawDirectoryEntry::Kind::directory && entry.hasValidName
                && entry.name.starts_with(prefix))
                candidates.push_back({Kind::containers, groups + "/" + entry.name});
        });
    }

    // The desktop's counterparts, by the same keys.
    for (const auto& key : keys) {
        candidates.push_back({Kind::preferences, home + "/.config/" + key});
        candidates.push_back({Kind::cache, home + "/.cache/" + key});
        candidates.push_back({Kind::data, home + "/.local/share/" + key});
        candidates.push_back({Kind::savedState, home + "/.local/state/" + key});
    }
    if (app.packageName && isSafeComponent(*app.packageName)) {
        if (app.source == InstallSource::flatpak)
            candidates.push_back({Kind::containers, home + "/.var/app/" + *app.packageName});
        else if (app.source == InstallSource::snap)
            candidates.push_back({Kind::containers, home + "/snap/" + *app.packageName});
    }

    // Names keep their letter case; two candidates reaching one folder (through a
    // link, or on a volume that ignores case) count once.
    std::vector<DataLocation> result;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (auto& candidate : candidates) {
        struct stat info {};
        if (::stat(candidate.path.c_str(), &info) == 0 && seen.insert({info.st_dev, info.st_ino}).second)
            result.push_back(std::move(candidate));
    }
    return result;
}

ApplicationScanner::SigningIdentity ApplicationScanner::signingIdentity(const std::string& path,
                                                                        const CodeSigning& signing)
{
    CodeSigning::StaticCode code;
    if (signing.createStaticCode(path, code) != CodeSigning::success)
        return {std::nullopt, std::nullopt, CodeSignatureStatus::unavailable("Could not read the bundle")};

    CodeSigning::SigningInformation information;
    const auto status = signing.copySigningInformation(code, information);
    if (status != CodeSigning::success) {
        auto missing = serviceMissing(signing, status);
        return {std::nullopt, std::nullopt,
                missing ? std::move(*missing) : CodeSignatureStatus::unavailable(statusCodeText(status))};
    }

    const bool adHoc = (information.flags.value_or(0) & CodeSigning::adHocFlag) != 0;
    if (!information.identifier)
        return {std::nullopt, std::nullopt, CodeSignatureStatus::unsigned_()};
    if (information.certificateSummaries.empty() || adHoc)
        return {std::nullopt, information.teamIdentifier, CodeSignatureStatus::adHoc()};
    const std::string summary = information.certificateSummaries.front().value_or("Unknown authority");
    return {developerName(summary), information.teamIdentifier, CodeSignatureStatus::signed_(summary)};
}

CodeSignatureStatus ApplicationScanner::validateSignature(const std::string& path, const CodeSigning& signing)
{
    CodeSigning::StaticCode code;
    if (signing.createStaticCode(path, code) != CodeSigning::success)
        return CodeSignatureStatus::unavailable("Could not read the bundle");
    auto identity = signingIdentity(path, signing);
    const auto status = signing.checkValidity(code);
    if (status == CodeSigning::success) {
        if (identity.status.kind == CodeSignatureStatus::Case::signed_)
            return CodeSignatureStatus::valid(identity.status.text);
        return identity.status;
    }
    if (status == CodeSigning::notSigned)
        return CodeSignatureStatus::unsigned_();
    if (auto missing = serviceMissing(signing, status))
        return *missing;
    return CodeSignatureStatus::invalid(signing.errorMessage(status).value_or(statusCodeText(status)));
}

std::optional<std::string> ApplicationScanner::developerName(std::string_view summary)
{
    if (summary == "Software Signing")
        return "Apple";
    if (summary.starts_with("Apple ") && summary.find(':') == std::string_view::npos) {
        if (summary == "Apple Mac OS Application Signing")
            return std::nullopt;
        return "Apple";
    }
    std::string_view name = summary;
    if (const auto colon = summary.find(": "); colon != std::string_view::npos)
        name = summary.substr(colon + 2);
    if (name.ends_with(")"))
        if (const auto open = name.rfind(" ("); open != std::string_view::npos)
            name = name.substr(0, open);
    if (name.empty())
        return std::nullopt;
    return std::string(name);
}
