#include "analysis/DuplicateRecords.h"

#include "platform/Paths.h"
#include "platform/SystemPaths.h"

DuplicateScanOptions::DuplicateScanOptions()
{
    const std::string home = SystemPaths::homeDirectory();
    scope = home;
    excluded = {home + "/Library", home + "/.Trash"};
    // Files already in the desktop's home Trash are on their way out, not copies to offer.
    const std::string trash = Paths::appending(SystemPaths::applicationSupportDirectory(), "Trash");
    if (trash != excluded.back()) excluded.push_back(trash);
}
