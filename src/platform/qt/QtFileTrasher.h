#pragma once

#include "platform/FileTrasher.h"

// The freedesktop.org Trash through QFile::moveToTrash: the home Trash for items on the
// home volume, the volume's own .Trash folders elsewhere. Safe to call without a
// QCoreApplication and from any thread.
class QtFileTrasher : public FileTrasher {
public:
    std::optional<std::string> moveToTrash(const std::string& path) override;
};
