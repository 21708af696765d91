#pragma once

#include "index/ApplicationRecords.h"
#include "platform/CodeSigning.h"
#include "platform/DebianPackages.h"
#include "platform/gio/DesktopEntry.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// Turns the desktop entries the launcher shows into installed applications: the
// executable and its architectures, the folder the application owns and the
// package manager that installed it, with its version and removal command.
struct DesktopApplicationScanner {
    DebianPackages packages;
    std::string home;
    std::string snapRoot = "/snap";

    // The shown entries of the desktop's data folders, read now.
    static std::vector<DesktopEntry> installedEntries();

    // One record per entry, sorted by name as the file browser sorts.
    std::vector<ApplicationInfo> readApplications(const std::vector<DesktopEntry>& entries,
                                                  const CodeSigning& signing = CodeSigning::system()) const;

    // The application id the desktop names an entry by: the desktop file id without ".desktop".
    static std::string applicationID(const std::string& desktopFileID);
    // The folder a Flatpak entry was exported from: the part before "/export/share/applications/".
    static std::optional<std::string> flatpakDeployFolder(const std::string& resolvedEntryPath);
    // "/opt/<name>" for an executable below it.
    static std::optional<std::string> optFolder(const std::string& resolvedExecutable);
    // The first release version of AppStream metadata text.
    static std::optional<std::string> appStreamVersion(std::string_view xml);
    // The "version:" of a snap.yaml text.
    static std::optional<std::string> snapVersion(std::string_view yaml);
    // The packages an application owned by `entryPackage` is sized by: the one owning
    // the executable its entry starts with the parts built from the same source, when
    // that is the entry's source too, then the entry's own.
    static std::vector<std::string> sizedPackages(const std::string& entryPackage,
                                                  const std::optional<std::string>& executablePackage,
                                                  const std::map<std::string, DebianPackages::Origin>& origins);

private:
    // The names under which dpkg may list the executable an entry starts.
    static std::vector<std::string> packagedExecutablePaths(const DesktopEntry& entry);
    // A shell, an interpreter or a launcher: the program an entry starts through it is not it.
    static bool startsAnotherProgram(const std::string& executable);
    ApplicationInfo read(const DesktopEntry& entry, const std::optional<std::string>& debianPackage,
                         const CodeSigning& signing) const;
    void readFlatpak(const DesktopEntry& entry, const std::string& resolvedEntry, ApplicationInfo& app) const;
    void readSnap(const DesktopEntry& entry, ApplicationInfo& app) const;
};
