#include "app/system/ProtectedLocation.h"

#include "index/Hashing.h"
#include "index/RawValueTable.h"


namespace {

using Requirement = ProtectedLocation::Requirement;

constexpr RawValueTable<Requirement, 3> requirementTexts{{{
    {Requirement::filesAndFolders, "Files & Folders"},
    {Requirement::fullDiskAccess, "Full Disk Access"},
    {Requirement::filePermissions, "File permissions"},
}}};

} // namespace

std::string_view rawValue(ProtectedLocation::Requirement requirement)
{
    return requirementTexts.text(requirement);
}

std::optional<ProtectedLocation::Requirement> requirementFromRawValue(std::string_view text)
{
    return requirementTexts.value(text);
}

std::size_t std::hash<ProtectedLocation>::operator()(const ProtectedLocation& location) const noexcept
{
    return Hashing::of(location.name, location.path, rawValue(location.requirement), location.explanation);
}
