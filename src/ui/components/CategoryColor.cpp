#include "ui/components/CategoryColor.h"

#include "ui/components/TextStyle.h"

namespace {

QColor rgb(double red, double green, double blue) { return QColor::fromRgbF(float(red), float(green), float(blue)); }
QColor grey(double white) { return rgb(white, white, white); }

} // namespace

QColor categoryColor(StorageCategory category)
{
    switch (category) {
    case StorageCategory::other: return NamedColor::gray;
    case StorageCategory::applications: return NamedColor::blue;
    case StorageCategory::documents: return NamedColor::indigo;
    case StorageCategory::downloads: return NamedColor::cyan;
    case StorageCategory::desktop: return NamedColor::teal;
    case StorageCategory::photos: return NamedColor::pink;
    case StorageCategory::videos: return NamedColor::purple;
    case StorageCategory::music: return NamedColor::red;
    case StorageCategory::developer: return NamedColor::orange;
    case StorageCategory::xcode: return rgb(0.2, 0.55, 0.95);
    case StorageCategory::docker: return rgb(0.1, 0.6, 0.85);
    case StorageCategory::nodeJS: return NamedColor::green;
    case StorageCategory::npm: return rgb(0.8, 0.2, 0.2);
    case StorageCategory::yarn: return rgb(0.17, 0.55, 0.75);
    case StorageCategory::pnpm: return rgb(0.95, 0.65, 0.1);
    case StorageCategory::git: return rgb(0.94, 0.32, 0.2);
    case StorageCategory::caches: return NamedColor::yellow;
    case StorageCategory::logs: return NamedColor::brown;
    case StorageCategory::iOSBackups: return NamedColor::mint;
    case StorageCategory::android: return rgb(0.24, 0.7, 0.4);
    case StorageCategory::virtualMachines: return rgb(0.45, 0.35, 0.75);
    case StorageCategory::archives: return rgb(0.6, 0.5, 0.35);
    case StorageCategory::system: return grey(0.45);
    case StorageCategory::trash: return grey(0.65);
    case StorageCategory::mail: return rgb(0.25, 0.45, 0.85);
    case StorageCategory::cloudStorage: return rgb(0.4, 0.7, 0.95);
    }
    return NamedColor::gray;
}
