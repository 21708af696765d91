#include "scanning/FinderActions.h"

#include "platform/DesktopServices.h"
#include "platform/FileTrasher.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"

#include <sys/stat.h>

namespace FinderActions {

namespace {

bool isFolder(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

void reveal(const std::vector<std::string>& paths, DesktopServices& desktop)
{
    std::vector<std::string> existing;
    for (const std::string& path : paths) {
        struct stat info{};
        // Follows links: a link whose target is gone counts as missing.
        if (::stat(path.c_str(), &info) == 0)
            existing.push_back(path);
    }
    if (existing.empty()) {
        desktop.beep();
        return;
    }
    desktop.revealItems(existing);
}

void openTrash(DesktopServices& desktop, const FileTrasher& trasher)
{
    const auto trash = trasher.trashFolder();
    if (!trash) {
        desktop.openFolder(Paths::appending(SystemPaths::homeDirectory(), ".Trash"));
        return;
    }
    // The trashed items themselves live in "files"; the rest is restore information.
    const std::string files = Paths::appending(*trash, "files");
    desktop.openFolder(isFolder(files) ? files : *trash);
}

} // namespace FinderActions
