#pragma once

#include "platform/FileTrasher.h"

#include <string>

// The freedesktop.org Trash, written by hand: the home Trash for items on the home Trash's
// volume, the volume's own ".Trash/<uid>" or ".Trash-<uid>" elsewhere. The item's folder is
// opened one component at a time without following links, so a folder swapped for a link
// after the pick is refused instead of followed, and no path has to fit the kernel's limit.
// The restore record is written and synced before the item moves; an item whose record
// cannot be written completely stays where it is. Safe on any thread.
class FreedesktopTrasher : public FileTrasher {
public:
    std::optional<std::string> moveToTrash(const std::string& path, const Expected& expected = {}) override;

    // The "Path=" value of a restore record: every byte but unreserved characters and "/"
    // percent-encoded, so that a newline or a "%" in a name survives.
    static std::string encodedRestorePath(const std::string& path);
};
