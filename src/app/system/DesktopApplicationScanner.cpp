#include "app/system/DesktopApplicationScanner.h"

#include "app/system/ApplicationScanner.h"
#include "app/system/MachOInspector.h"
#include "platform/Paths.h"
#include "platform/ProcText.h"
#include "platform/RegularFile.h"
#include "platform/gio/DesktopEntryReader.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <set>

#include <sys/stat.h>

namespace {

constexpr std::string_view exportedEntries = "/export/share/applications/";
// An application's metadata is a page of text; what is far longer is not read.
constexpr std::size_t maxMetadataBytes = 4 * 1024 * 1024;

std::string resolved(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string result(real);
    std::free(real);
    return result;
}

bool isRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A Flatpak id or snap name becomes one path component.
bool isSafeComponent(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

std::string unquoted(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.remove_suffix(1);
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}

} // namespace

std::vector<DesktopEntry> DesktopApplicationScanner::installedEntries()
{
    return DesktopEntryReader::shownEntries();
}

std::string DesktopApplicationScanner::applicationID(const std::string& desktopFileID)
{
    constexpr std::string_view suffix = ".desktop";
    if (desktopFileID.size() > suffix.size() && desktopFileID.ends_with(suffix))
        return desktopFileID.substr(0, desktopFileID.size() - suffix.size());
    return desktopFileID;
}

std::optional<std::string> DesktopApplicationScanner::flatpakDeployFolder(const std::string& resolvedEntryPath)
{
    const auto at = resolvedEntryPath.rfind(exportedEntries);
    if (at == std::string::npos || at == 0) return std::nullopt;
    return resolvedEntryPath.substr(0, at);
}

std::optional<std::string> DesktopApplicationScanner::optFolder(const std::string& resolvedExecutable)
{
    constexpr std::string_view opt = "/opt/";
    if (!resolvedExecutable.starts_with(opt)) return std::nullopt;
    const auto end = resolvedExecutable.find('/', opt.size());
    if (end == std::string::npos || end == opt.size()) return std::nullopt;
    return resolvedExecutable.substr(0, end);
}

std::optional<std::string> DesktopApplicationScanner::appStreamVersion(std::string_view xml)
{
    // Releases are listed newest first.
    const auto release = xml.find("<release ");
    if (release == std::string_view::npos) return std::nullopt;
    const auto close = xml.find('>', release);
    const std::string_view element = xml.substr(release, close == std::string_view::npos ? xml.npos : close - release);
    const auto attribute = element.find(" version=");
    if (attribute == std::string_view::npos || attribute + 10 >= element.size()) return std::nullopt;
    const char quote = element[attribute + 9];
    if (quote != '"' && quote != '\'') return std::nullopt;
    const auto end = element.find(quote, attribute + 10);
    if (end == std::string_view::npos || end == attribute + 10) return std::nullopt;
    return std::string(element.substr(attribute + 10, end - attribute - 10));
}

std::optional<std::string> DesktopApplicationScanner::snapVersion(std::string_view yaml)
{
    for (const std::string_view line : ProcText::lines(yaml))
        if (line.starts_with("version:")) {
            std::string_view value = line.substr(8);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            auto version = unquoted(value);
            if (!version.empty()) return version;
        }
    return std::nullopt;
}

std::vector<ApplicationInfo> DesktopApplicationScanner::readApplications(const std::vector<DesktopEntry>& entries,
                                                                         const CodeSigning& signing) const
{
    // One pass over dpkg's file lists for every entry and executable at once.
    std::set<std::string> paths;
    for (const auto& entry : entries)
        if (!entry.flatpakID && !entry.snapName) {
            paths.insert(entry.filename);
            paths.insert(resolved(entry.filename));
            for (auto& path : packagedExecutablePaths(entry)) paths.insert(std::move(path));
        }
    const auto owners = packages.owners(paths);
    const auto ownerOf = [&](const std::string& path) -> std::optional<std::string> {
        if (const auto it = owners.find(path); it != owners.end()) return it->second;
        return std::nullopt;
    };

    struct Owners {
        std::optional<std::string> entry;
        std::optional<std::string> executable;
    };
    std::vector<Owners> owningPackages;
    std::set<std::string> owned;
    for (const auto& entry : entries) {
        Owners found;
        if (!entry.flatpakID && !entry.snapName) {
            found.entry = ownerOf(entry.filename);
            if (!found.entry) found.entry = ownerOf(resolved(entry.filename));
            for (const auto& path : packagedExecutablePaths(entry))
                if (!found.executable) found.executable = ownerOf(path);
        }
        // An entry of no package (written by an installer or by hand) that starts a packaged
        // program is that package's application.
        if (!found.entry && found.executable && entry.executable && !startsAnotherProgram(*entry.executable)) {
            found.entry = found.executable;
        }
        if (found.entry) owned.insert(*found.entry);
        if (found.entry && found.executable) owned.insert(*found.executable);
        owningPackages.push_back(std::move(found));
    }
    // dpkg's status file is large: read it once for all packages, for each purpose.
    const auto versions = packages.versions(owned);
    const auto origins = packages.origins(owned);

    std::vector<ApplicationInfo> apps;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ApplicationInfo app = read(entries[i], owningPackages[i].entry, signing);
        if (app.packageName)
            if (const auto it = versions.find(*app.packageName); it != versions.end()) app.version = it->second;
        if (app.source == InstallSource::debian && app.packageName) {
            app.sizedPackages = sizedPackages(*app.packageName, owningPackages[i].executable, origins);
            // The command removes what the size shown counts.
            std::string command = "sudo apt remove";
            for (const std::string& package : app.sizedPackages) command += " " + package;
            app.removalCommand = std::move(command);
        }
        apps.push_back(std::move(app));
    }
    ApplicationScanner::sortByName(apps);
    return apps;
}

std::vector<std::string> DesktopApplicationScanner::packagedExecutablePaths(const DesktopEntry& entry)
{
    std::vector<std::string> paths;
    if (!entry.executable || Paths::lastComponent(*entry.executable) == "env") return paths;
    for (const std::string& path : {*entry.executable, resolved(*entry.executable)}) {
        paths.push_back(path);
        // With /bin merged into /usr/bin, dpkg may list the file under either name.
        for (const std::string_view merged : {"/usr/bin/", "/usr/sbin/", "/usr/lib/"})
            if (path.starts_with(merged)) paths.push_back(path.substr(4));
    }
    return paths;
}

bool DesktopApplicationScanner::startsAnotherProgram(const std::string& executable)
{
    static const std::set<std::string, std::less<>> launchers = {
        "sh",   "bash", "dash",   "zsh",    "fish",   "ksh",   "env",     "sudo",  "pkexec",   "xdg-open", "gio",
        "perl", "ruby", "node",   "nodejs", "java",   "mono",  "gjs",     "lua",   "php",      "tclsh",    "wish",
        "wine", "snap", "flatpak", "x-terminal-emulator", "python", "python2", "python3",
    };
    std::string name = Paths::lastComponent(resolved(executable));
    const std::string given = Paths::lastComponent(executable);
    // python3.11 and lua5.4 are the interpreters too.
    const auto stem = [](std::string text) {
        while (!text.empty() && (std::isdigit(static_cast<unsigned char>(text.back())) || text.back() == '.'))
            text.pop_back();
        return text;
    };
    return launchers.count(given) || launchers.count(name) || launchers.count(stem(given)) || launchers.count(stem(name));
}

std::vector<std::string> DesktopApplicationScanner::sizedPackages(
    const std::string& entryPackage, const std::optional<std::string>& executablePackage,
    const std::map<std::string, DebianPackages::Origin>& origins)
{
    std::vector<std::string> result;
    const auto add = [&](const std::string& package) {
        if (std::find(result.begin(), result.end(), package) == result.end()) result.push_back(package);
    };
    const auto entryOrigin = origins.find(entryPackage);
    const auto executableOrigin = executablePackage ? origins.find(*executablePackage) : origins.end();
    // An entry that starts a shell or an interpreter runs a program of another source:
    // that program is not part of the application.
    if (executableOrigin != origins.end() && entryOrigin != origins.end()
        && executableOrigin->second.source == entryOrigin->second.source) {
        add(*executablePackage);
        for (const auto& part : executableOrigin->second.sameSourceDependencies) add(part);
    }
    add(entryPackage);
    return result;
}

ApplicationInfo DesktopApplicationScanner::read(const DesktopEntry& entry, const std::optional<std::string>& debianPackage,
                                                const CodeSigning& signing) const
{
    ApplicationInfo app;
    app.name = entry.name;
    app.iconName = entry.icon;
    app.path = entry.filename;
    app.bundleIdentifier = applicationID(entry.id);
    app.desktopEntryID = entry.id;
    app.desktopEntryPath = entry.filename;
    // "env VAR=value program" starts env first; the program it runs is not known here.
    if (entry.executable && Paths::lastComponent(*entry.executable) != "env") app.executablePath = entry.executable;
    app.source = InstallSource::desktopEntry;

    const std::string resolvedEntry = resolved(entry.filename);
    if (entry.flatpakID && isSafeComponent(*entry.flatpakID)) {
        readFlatpak(entry, resolvedEntry, app);
    } else if (entry.snapName && isSafeComponent(*entry.snapName)) {
        readSnap(entry, app);
    } else {
        if (app.executablePath)
            if (auto folder = optFolder(resolved(*app.executablePath))) app.path = std::move(*folder);
        if (debianPackage) {
            app.source = InstallSource::debian;
            app.packageName = debianPackage;
            app.removalCommand = "sudo apt remove " + *debianPackage;
        }
    }

    if (app.executablePath) {
        app.executableName = Paths::lastComponent(*app.executablePath);
        app.architectures = MachOInspector::architectures(*app.executablePath);
    }
    auto identity = ApplicationScanner::signingIdentity(app.path, signing);
    app.developer = std::move(identity.developer);
    app.teamIdentifier = std::move(identity.teamIdentifier);
    app.signature = std::move(identity.status);
    return app;
}

void DesktopApplicationScanner::readFlatpak(const DesktopEntry& entry, const std::string& resolvedEntry,
                                            ApplicationInfo& app) const
{
    const std::string& id = *entry.flatpakID;
    app.source = InstallSource::flatpak;
    app.packageName = id;
    app.bundleIdentifier = id;
    const bool perUser = resolvedEntry.starts_with(home + "/.local/share/flatpak/");
    app.removalCommand = std::string("flatpak uninstall ") + (perUser ? "--user " : "") + id;
    const auto deploy = flatpakDeployFolder(resolvedEntry);
    if (!deploy) return;
    app.path = *deploy;
    // The entry's command is flatpak itself; the application's own executable lies in the deploy folder.
    if (const auto command = DesktopEntryReader::keyFileValue(*deploy + "/metadata", "Application", "command")) {
        const std::string executable = *deploy + "/files/bin/" + *command;
        if (isSafeComponent(*command) && isRegularFile(executable)) app.executablePath = executable;
    }
    for (const auto* name : {"/files/share/metainfo/", "/files/share/appdata/"})
        for (const auto* suffix : {".metainfo.xml", ".appdata.xml"})
            if (!app.version)
                if (const auto xml = RegularFile::read(*deploy + name + id + suffix, maxMetadataBytes)) app.version = appStreamVersion(*xml);
}

void DesktopApplicationScanner::readSnap(const DesktopEntry& entry, ApplicationInfo& app) const
{
    const std::string& name = *entry.snapName;
    app.source = InstallSource::snap;
    app.packageName = name;
    app.removalCommand = "sudo snap remove " + name;
    const std::string current = snapRoot + "/" + name + "/current";
    struct stat info {};
    if (::stat(current.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        app.executablePath.reset();
        return;
    }
    app.path = resolved(current);
    // The entry's command goes through snap's launcher, not the application's own executable.
    if (app.executablePath && !Paths::isWithin(resolved(*app.executablePath), app.path)) app.executablePath.reset();
    if (const auto yaml = RegularFile::read(app.path + "/meta/snap.yaml", maxMetadataBytes)) app.version = snapVersion(*yaml);
}
