#include "analysis/DuplicateRecords.h"

#include "platform/Paths.h"
#include "platform/SystemPaths.h"

DuplicateScanOptions::DuplicateScanOptions()
{
    const std::string home = SystemPaths::homeDirectory();
    scope = home;
    // Files already in the desktop's home Trash are on their way out, not copies to offer.
    excluded = {home + "/Library", home + "/.Trash",
                Paths::appending(SystemPaths::applicationSupportDirectory(), "Trash")};
}
