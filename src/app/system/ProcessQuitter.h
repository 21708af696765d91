#pragma once

#include "app/system/FailureList.h"
#include "index/ProcessRecords.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Quits or force-quits the process a confirmation named, judged again at the
// moment of signalling: a process that ended, or whose pid now belongs to another
// program, is not signalled, and every refusal or failure comes back as a message.
namespace ProcessQuitter {

// The reason for the alert, or nothing when the request went out. A quit asks the
// process's windows to close where the session allows it, else sends SIGTERM; a
// force quit sends SIGKILL.
std::optional<std::string> quit(const ProcessSnapshot& named, bool force, const std::string& procRoot = "/proc");

// Whether a quit can ask the process's windows to close, so that it may offer to
// save. Most applications end on SIGTERM at once, without asking.
bool canAskToSave(const ProcessSnapshot& process);

// The confirmation's message for a quit or a force quit.
std::string confirmationMessage(bool force, bool canAskToSave);

// What an alert says about the processes that could not be quit, out of `requested`.
FailureList failureReport(const std::vector<std::pair<ProcessSnapshot, std::string>>& failures,
                          std::size_t requested);

} // namespace ProcessQuitter
