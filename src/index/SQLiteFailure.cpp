#include "index/SQLiteFailure.h"

#include "index/SQLiteError.h"
#include "platform/MountPoint.h"

#include <sqlite3.h>

namespace SQLiteFailure {

std::optional<std::string> lastingWriteFault(const std::exception& error, const std::string& cachePath)
{
    const auto* sqlite = dynamic_cast<const SQLiteError*>(&error);
    if (!sqlite)
        return std::nullopt;
    // Extended codes carry the primary one in their low byte.
    switch (sqlite->code() & 0xff) {
    case SQLITE_FULL:
        return "The disk that holds the scan cache (" + MountPoint::of(cachePath) +
               ") is full, so the scan could not save what it found. Free some space there and scan again.";
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
        return "The scan cache " + cachePath + " could not be written (" + sqlite->description() +
               "), so the scan could not save what it found.";
    default:
        return std::nullopt;
    }
}

} // namespace SQLiteFailure
