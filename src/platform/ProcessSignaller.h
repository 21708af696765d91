#pragma once

#include "platform/ProcessIdentity.h"

#include <optional>
#include <string>

// Sends a quit or kill signal to a process only while it is still the one named:
// the process is pinned through a pidfd first, so that its pid cannot pass to
// another program between the identity check and the signal.
namespace ProcessSignaller {

inline constexpr const char* endedText = "The process has already ended.";
inline constexpr const char* replacedText = "Another program now has this process ID. Nothing was sent to it.";

// SIGKILL when forced, else SIGTERM. The reason for the user when nothing was sent.
std::optional<std::string> signal(const ProcessIdentity& named, bool force, const std::string& procRoot = "/proc");

} // namespace ProcessSignaller
