#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Installed applications, their running usage and where they keep their bytes.

enum class CPUArchitecture { arm64, x86_64, i386, powerPC, unknown };

// "ARM64", "x86-64", ... as shown to the user.
std::string_view rawValue(CPUArchitecture architecture);
std::optional<CPUArchitecture> cpuArchitectureFromRawValue(std::string_view text);

// The state of a code signature. Cases carrying text keep it in `text`
// (the authority for signed_/valid, the reason for invalid/unavailable).
struct CodeSignatureStatus {
    enum class Case { notChecked, signed_, adHoc, unsigned_, valid, invalid, unavailable };

    Case kind = Case::notChecked;
    std::string text{};

    static CodeSignatureStatus notChecked() { return {.kind = Case::notChecked}; }
    static CodeSignatureStatus signed_(std::string authority)
    {
        return {.kind = Case::signed_, .text = std::move(authority)};
    }
    static CodeSignatureStatus adHoc() { return {.kind = Case::adHoc}; }
    static CodeSignatureStatus unsigned_() { return {.kind = Case::unsigned_}; }
    static CodeSignatureStatus valid(std::string authority)
    {
        return {.kind = Case::valid, .text = std::move(authority)};
    }
    static CodeSignatureStatus invalid(std::string message)
    {
        return {.kind = Case::invalid, .text = std::move(message)};
    }
    static CodeSignatureStatus unavailable(std::string message)
    {
        return {.kind = Case::unavailable, .text = std::move(message)};
    }

    std::string label() const;

    friend bool operator==(const CodeSignatureStatus&, const CodeSignatureStatus&) = default;
};

// Who put an application on the system. Package-managed applications are removed
// by their package manager, never moved to the Trash.
enum class InstallSource { bundle, desktopEntry, debian, flatpak, snap };

struct ApplicationInfo {
    std::string name;
    std::string path;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> version;
    std::optional<std::string> build;
    std::optional<std::string> minimumSystemVersion;
    std::optional<std::string> copyright;
    std::optional<std::string> executableName;
    std::vector<CPUArchitecture> architectures;
    std::optional<std::string> developer;
    std::optional<std::string> teamIdentifier;
    CodeSignatureStatus signature;
    bool isAppStoreApp = false;
    bool isSystemApp = false;
    std::optional<double> lastUsed;
    // Desktop applications: the entry that the launcher shows, the executable its
    // command starts and the package that installed it.
    std::optional<std::string> desktopEntryID;
    std::optional<std::string> desktopEntryPath;
    std::optional<std::string> executablePath;
    std::optional<std::string> iconName;    // a theme icon name or an image file's path
    InstallSource source = InstallSource::bundle;
    std::optional<std::string> packageName; // Debian package, Flatpak id or snap name
    std::optional<std::string> removalCommand;
    // Debian: the packages whose files make up the application, its entry's among them.
    std::vector<std::string> sizedPackages;

    // Entries of one suite, snap or Flatpak share a folder: a desktop entry's id
    // names it alone, a bundle's path does.
    const std::string& id() const { return desktopEntryID ? *desktopEntryID : path; }
    bool isPackageManaged() const
    {
        return source == InstallSource::debian || source == InstallSource::flatpak || source == InstallSource::snap;
    }
    // A Debian package without a folder of its own is sized by its files.
    bool isSizedByPackage() const { return source == InstallSource::debian && desktopEntryPath == path; }
    std::string architectureLabel() const;
    std::string displayVersion() const;

    friend bool operator==(const ApplicationInfo&, const ApplicationInfo&) = default;
};

struct ApplicationUsage {
    int processCount = 0;
    std::int64_t memoryBytes = 0;
    double cpuPercent = 0.0;
    int restrictedProcessCount = 0;
    std::vector<std::int32_t> pids;

    static const ApplicationUsage notRunning;

    friend bool operator==(const ApplicationUsage&, const ApplicationUsage&) = default;
};

struct ApplicationStorageBreakdown {
    struct Entry {
        enum class Kind { bundle, data, containers, cache, logs, preferences, savedState };

        Kind kind = Kind::bundle;
        std::string path;
        std::int64_t bytes = 0;
        bool isPartial = false;

        const std::string& id() const { return path; }

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    std::vector<Entry> entries;

    friend bool operator==(const ApplicationStorageBreakdown&, const ApplicationStorageBreakdown&) = default;
};

// "Application Files", "Caches", ... as shown to the user.
std::string_view rawValue(ApplicationStorageBreakdown::Entry::Kind kind);
std::optional<ApplicationStorageBreakdown::Entry::Kind> storageEntryKindFromRawValue(std::string_view text);

template <> struct std::hash<CodeSignatureStatus> {
    std::size_t operator()(const CodeSignatureStatus& status) const noexcept;
};
template <> struct std::hash<ApplicationInfo> {
    std::size_t operator()(const ApplicationInfo& info) const noexcept;
};
