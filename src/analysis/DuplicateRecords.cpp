#include "analysis/DuplicateRecords.h"

#include "platform/SystemPaths.h"

DuplicateScanOptions::DuplicateScanOptions()
{
    const std::string home = SystemPaths::homeDirectory();
    scope = home;
    excluded = {home + "/Library", home + "/.Trash"};
}
