#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Names of user and group accounts from the system's account databases.
namespace Accounts {

// Absent when the id has no entry.
std::optional<std::string> userName(std::uint32_t uid);
std::optional<std::string> groupName(std::uint32_t gid);

} // namespace Accounts
