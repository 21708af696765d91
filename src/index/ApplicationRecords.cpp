#include "index/ApplicationRecords.h"

#include "index/Hashing.h"
#include "index/RawValueTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr RawValueTable<CPUArchitecture, 5> architectureNames{.entries = {{
    {CPUArchitecture::arm64, "ARM64"},
    {CPUArchitecture::x86_64, "x86-64"},
    {CPUArchitecture::i386, "x86 (32-bit)"},
    {CPUArchitecture::powerPC, "PowerPC"},
    {CPUArchitecture::unknown, "Unknown"},
}}};

using Kind = ApplicationStorageBreakdown::Entry::Kind;
constexpr RawValueTable<Kind, 7> kindNames{.entries = {{
    {Kind::bundle, "Application Files"},
    {Kind::data, "Application Data"},
    {Kind::containers, "Containers"},
    {Kind::cache, "Caches"},
    {Kind::logs, "Logs"},
    {Kind::preferences, "Preferences"},
    {Kind::savedState, "Saved State"},
}}};

} // namespace

std::string_view rawValue(CPUArchitecture architecture)
{
    return architectureNames.text(architecture);
}

std::optional<CPUArchitecture> cpuArchitectureFromRawValue(std::string_view text)
{
    return architectureNames.value(text);
}

std::string_view rawValue(ApplicationStorageBreakdown::Entry::Kind kind)
{
    return kindNames.text(kind);
}

std::optional<ApplicationStorageBreakdown::Entry::Kind> storageEntryKindFromRawValue(std::string_view text)
{
    return kindNames.value(text);
}

std::string CodeSignatureStatus::label() const
{
    switch (kind) {
    case Case::signed_: return "Signed — " + text;
    case Case::valid: return "Valid — " + text;
    case Case::invalid: return "Invalid — " + text;
    case Case::unavailable: return "Unavailable — " + text;
    case Case::notChecked: return "Not checked";
    case Case::adHoc: return "Ad-hoc signed (no developer identity)";
    case Case::unsigned_: return "Not signed";
    }
    return {};
}

std::string ApplicationInfo::architectureLabel() const
{
    if (architectures.empty())
        return "Unknown";
    const auto holds = [&](CPUArchitecture a) {
        return std::find(architectures.begin(), architectures.end(), a) != architectures.end();
    };
    if (holds(CPUArchitecture::arm64) && holds(CPUArchitecture::x86_64))
        return "Universal";
    std::string label;
    for (const auto architecture : architectures) {
        if (!label.empty())
            label += ", ";
        label += rawValue(architecture);
    }
    return label;
}

std::string ApplicationInfo::displayVersion() const
{
    if (version && build && *version != *build)
        return *version + " (" + *build + ")";
    if (version)
        return *version;
    if (build)
        return *build;
    return "—";
}

const ApplicationUsage ApplicationUsage::notRunning{};

std::size_t std::hash<CodeSignatureStatus>::operator()(const CodeSignatureStatus& status) const noexcept
{
    return Hashing::of(static_cast<int>(status.kind), status.text);
}

std::size_t std::hash<ApplicationInfo>::operator()(const ApplicationInfo& info) const noexcept
{
    std::size_t seed = Hashing::of(info.name, info.path, info.bundleIdentifier, info.version, info.build,
                                   info.minimumSystemVersion, info.copyright, info.executableName);
    Hashing::combine(seed, info.architectures.size());
    for (const auto architecture : info.architectures)
        Hashing::combine(seed, architecture);
    Hashing::combine(seed, Hashing::of(info.developer, info.teamIdentifier, info.signature, info.isAppStoreApp,
                                       info.isSystemApp, info.lastUsed));
    Hashing::combine(seed, Hashing::of(info.desktopEntryID, info.desktopEntryPath, info.executablePath, info.source,
                                       info.packageName, info.removalCommand));
    return seed;
}
