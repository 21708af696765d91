#include "analysis/DuplicateRecords.h"

#include "platform/SystemPaths.h"
#include "platform/TrashFolders.h"

DuplicateScanOptions::DuplicateScanOptions()
{
    const std::string home = SystemPaths::homeDirectory();
    scope = home;
    excluded = appDataFolders(home);
    // Files already in the desktop's home Trash are on their way out, not copies to offer.
    excluded.push_back(home + "/.Trash");
    excluded.push_back(TrashFolders::home(home));
}

std::vector<std::string> DuplicateScanOptions::appDataFolders(const std::string& home)
{
    return {home + "/Library", SystemPaths::dataHome(home), SystemPaths::configHome(home), SystemPaths::cacheHome(home)};
}
