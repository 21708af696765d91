#include "analysis/KnownLocation.h"

#include "platform/TrashFolders.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

struct UserFolderRow {
    std::string_view key;
    const char* name;
    const char* symbolName;
    std::optional<StorageCategory> category;
};

} // namespace

std::vector<KnownLocation> KnownLocation::standard(const std::string& home)
{
    return standard(home, XdgUserDirs::read(home));
}

std::vector<KnownLocation> KnownLocation::standard(const std::string& home,
                                                   const std::vector<XdgUserDirs::Folder>& userFolders)
{
    using C = StorageCategory;
    std::vector<KnownLocation> rows = {
        {"Applications", "/Applications", "square.grid.2x2", C::applications},
        {"Applications (User)", home + "/Applications", "square.grid.2x2", C::applications},
        {"Downloads", home + "/Downloads", "arrow.down.circle", C::downloads},
        {"Documents", home + "/Documents", "doc.text", C::documents},
        {"Desktop", home + "/Desktop", "menubar.dock.rectangle", C::desktop},
        {"Pictures", home + "/Pictures", "photo", C::photos},
        {"Movies", home + "/Movies", "film", C::videos},
        {"Music", home + "/Music", "music.note", C::music},
        {"Library (User)", home + "/Library", "building.columns", std::nullopt},
        {"Library", "/Library", "building.columns", std::nullopt},
        {"System", "/System", "gearshape.2", C::system},
        {"Users", "/Users", "person.2", std::nullopt},
    };
    const auto add = [&](KnownLocation row) {
        if (std::none_of(rows.begin(), rows.end(), [&](const KnownLocation& known) { return known.path == row.path; }))
            rows.push_back(std::move(row));
    };

    static constexpr std::array<UserFolderRow, 8> userFolderRows = {{
        {"DOWNLOAD", "Downloads", "arrow.down.circle", C::downloads},
        {"DOCUMENTS", "Documents", "doc.text", C::documents},
        {"DESKTOP", "Desktop", "menubar.dock.rectangle", C::desktop},
        {"PICTURES", "Pictures", "photo", C::photos},
        {"VIDEOS", "Videos", "film", C::videos},
        {"MUSIC", "Music", "music.note", C::music},
        {"TEMPLATES", "Templates", "doc", std::nullopt},
        {"PUBLICSHARE", "Public", "person.2", std::nullopt},
    }};
    for (const UserFolderRow& folderRow : userFolderRows)
        for (const XdgUserDirs::Folder& folder : userFolders)
            if (folder.key == folderRow.key)
                add({folderRow.name, folder.path, folderRow.symbolName, folderRow.category});

    add({"Caches", home + "/.cache", "internaldrive", C::caches});
    add({"Trash", TrashFolders::home(home), "trash", C::trash});
    add({"Application Data", home + "/.local/share", "folder.badge.gearshape", std::nullopt});
    add({"System Programs", "/usr", "gearshape.2", C::system});
    add({"Optional Software", "/opt", "square.grid.2x2", std::nullopt});
    add({"System Logs", "/var/log", "list.bullet.rectangle", C::logs});
    add({"System Caches", "/var/cache", "internaldrive", C::caches});
    add({"Docker", "/var/lib/docker", "shippingbox", C::docker});
    add({"Containers", "/var/lib/containers", "shippingbox", C::docker});
    add({"Containers (User)", home + "/.local/share/containers", "shippingbox", C::docker});
    add({"Flatpak", "/var/lib/flatpak", "square.grid.2x2", C::applications});
    add({"Snap", "/var/lib/snapd", "square.grid.2x2", C::applications});
    return rows;
}
