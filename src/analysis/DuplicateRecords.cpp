#include "analysis/DuplicateRecords.h"

#include "platform/SystemPaths.h"
#include "platform/TrashFolders.h"

DuplicateScanOptions::DuplicateScanOptions()
{
    const std::string home = SystemPaths::homeDirectory();
    scope = home;
    // Files already in the desktop's home Trash are on their way out, not copies to offer.
    excluded = {home + "/Library", home + "/.Trash", TrashFolders::home(home)};
}
