#pragma once

#include "index/ProcessRecords.h"

#include <optional>
#include <string>

// Quits or force-quits the process a confirmation named, judged again at the
// moment of signalling: a process that ended, or whose pid now belongs to another
// program, is not signalled, and every refusal or failure comes back as a message.
namespace ProcessQuitter {

// The reason for the alert, or nothing when the signal was sent.
std::optional<std::string> quit(const ProcessSnapshot& named, bool force, const std::string& procRoot = "/proc");

// Only a signal can be sent here, and most applications end on it at once: the
// confirmation promises no chance to save.
bool canAskToSave();

// The confirmation's message for a quit or a force quit.
std::string confirmationMessage(bool force);

} // namespace ProcessQuitter
