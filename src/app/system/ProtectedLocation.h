#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// One place guarded by a privacy permission or by plain file permissions.
struct ProtectedLocation {
    // The raw value is also the label shown.
    enum class Requirement { filesAndFolders, fullDiskAccess, filePermissions };

    std::string name;
    std::string path;
    Requirement requirement = Requirement::filePermissions;
    std::string explanation;

    friend bool operator==(const ProtectedLocation&, const ProtectedLocation&) = default;
};

// "Files & Folders", "Full Disk Access", "File permissions".
std::string_view rawValue(ProtectedLocation::Requirement requirement);
std::optional<ProtectedLocation::Requirement> requirementFromRawValue(std::string_view text);

// The result of probing one place.
enum class AccessStatus { granted, denied, notFound, notChecked };

template <>
struct std::hash<ProtectedLocation> {
    std::size_t operator()(const ProtectedLocation& location) const noexcept;
};
