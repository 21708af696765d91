#include "analysis/KnownLocation.h"

std::vector<KnownLocation> KnownLocation::standard(const std::string& home)
{
    using C = StorageCategory;
    return {
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
}
