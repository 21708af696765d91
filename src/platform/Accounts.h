#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Names of user and group accounts from the system's account databases.
namespace Accounts {

// Absent when the id has no entry.
std::optional<std::string> userName(std::uint32_t uid);
std::optional<std::string> groupName(std::uint32_t gid);
// The account's home folder as the password database has it.
std::optional<std::string> homeFolder(std::uint32_t uid);

} // namespace Accounts
