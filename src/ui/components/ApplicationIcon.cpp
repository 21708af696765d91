#include "ui/components/ApplicationIcon.h"

#include "ui/components/SymbolIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

namespace {

// Themes other than the current one (locolor, a removed desktop's theme) still hold
// icons that packages install only there.
QString fromDataFolders(const QString& name)
{
    static const char* const sizes[] = {"scalable", "512x512", "256x256", "128x128", "96x96",
                                        "64x64",    "48x48",   "32x32",   "24x24",   "16x16"};
    const QStringList dataFolders = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& data : dataFolders) {
        const QStringList themes = QDir(data + QStringLiteral("/icons")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const char* size : sizes)
            for (const QString& theme : themes)
                for (const char* suffix : {".svg", ".png"}) {
                    const QString file = QStringLiteral("%1/icons/%2/%3/apps/%4%5")
                                             .arg(data, theme, QLatin1String(size), name, QLatin1String(suffix));
                    if (QFileInfo::exists(file)) return file;
                }
        for (const char* suffix : {".svg", ".png", ".xpm"}) {
            const QString file = data + QStringLiteral("/pixmaps/") + name + QLatin1String(suffix);
            if (QFileInfo::exists(file)) return file;
        }
    }
    return {};
}

QIcon find(const QString& name)
{
    if (QDir::isAbsolutePath(name)) return QFileInfo(name).isFile() ? QIcon(name) : QIcon();
    // Some entries name the icon with its file suffix, which themes leave out.
    QString bare = name;
    for (const char* suffix : {".png", ".svg", ".xpm"})
        if (bare.endsWith(QLatin1String(suffix))) bare.chop(4);
    if (QIcon themed = QIcon::fromTheme(bare); !themed.isNull()) return themed;
    const QString file = fromDataFolders(bare);
    return file.isEmpty() ? QIcon() : QIcon(file);
}

} // namespace

namespace ApplicationIcon {

QIcon lookup(const std::string& iconName)
{
    static QHash<QString, QIcon> found;
    const QString name = QString::fromStdString(iconName);
    if (name.isEmpty()) return {};
    if (const auto known = found.constFind(name); known != found.constEnd()) return *known;
    QIcon icon = find(name);
    found.insert(name, icon);
    return icon;
}

QIcon of(const ApplicationInfo& app, const QColor& fallbackTint)
{
    if (app.iconName)
        if (QIcon icon = lookup(*app.iconName); !icon.isNull()) return icon;
    return SymbolIcons::icon("app", fallbackTint);
}

} // namespace ApplicationIcon
