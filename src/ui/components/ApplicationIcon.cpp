#include "ui/components/ApplicationIcon.h"

#include "app/LatestLoad.h"
#include "ui/components/SymbolIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// The icon is read on the main thread: a FIFO or a device named like an image would block it.
bool isImageFile(const QString& path)
{
    return QFileInfo(path).isFile();
}

// The image file for an icon name: the current theme first, then every other theme
// (locolor, a removed desktop's theme still hold icons that packages install only
// there), then the shared pixmaps folders. Runs off the main thread.
QString iconFile(const QString& name, const QString& currentTheme, const QStringList& themeFolders,
                 const QStringList& dataFolders)
{
    if (QDir::isAbsolutePath(name)) return isImageFile(name) ? name : QString();
    // Some entries name the icon with its file suffix, which themes leave out.
    QString bare = name;
    for (const char* suffix : {".png", ".svg", ".xpm"})
        if (bare.endsWith(QLatin1String(suffix))) bare.chop(4);

    static const char* const sizes[] = {"scalable", "512x512", "256x256", "128x128", "96x96",
                                        "64x64",    "48x48",   "32x32",   "24x24",   "16x16"};
    QStringList iconFolders = themeFolders;
    for (const QString& data : dataFolders) iconFolders << data + QStringLiteral("/icons");
    iconFolders.removeDuplicates();
    for (const QString& folder : iconFolders) {
        QStringList themes = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        // The current theme, then the fallback every theme inherits, then the rest.
        for (const QString& first : {QStringLiteral("hicolor"), currentTheme})
            if (themes.removeAll(first) > 0) themes.prepend(first);
        for (const QString& theme : themes)
            for (const char* size : sizes)
                for (const char* suffix : {".svg", ".png"}) {
                    const QString file = QStringLiteral("%1/%2/%3/apps/%4%5")
                                             .arg(folder, theme, QLatin1String(size), bare, QLatin1String(suffix));
                    if (isImageFile(file)) return file;
                }
    }
    for (const QString& data : dataFolders)
        for (const char* suffix : {".svg", ".png", ".xpm"}) {
            const QString file = data + QStringLiteral("/pixmaps/") + bare + QLatin1String(suffix);
            if (isImageFile(file)) return file;
        }
    return {};
}

} // namespace

ApplicationIcon& ApplicationIcon::announcer()
{
    static ApplicationIcon* instance = new ApplicationIcon;
    return *instance;
}

bool ApplicationIcon::isKnown(const std::string& iconName)
{
    return announcer().icons_.contains(QString::fromStdString(iconName));
}

QIcon ApplicationIcon::lookup(const std::string& iconName)
{
    ApplicationIcon& self = announcer();
    const QString name = QString::fromStdString(iconName);
    if (name.isEmpty()) return {};
    if (const auto known = self.icons_.constFind(name); known != self.icons_.constEnd()) return *known;
    if (self.searching_.contains(name)) return {};
    self.searching_.insert(name);
    LatestLoad::once(
        &self,
        [name, theme = QIcon::themeName(), themeFolders = QIcon::themeSearchPaths(),
         dataFolders = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)] {
            return iconFile(name, theme, themeFolders, dataFolders);
        },
        [&self, name](QString file) {
            self.searching_.remove(name);
            self.icons_.insert(name, file.isEmpty() ? QIcon() : QIcon(file));
            if (!file.isEmpty()) emit self.found();
        });
    return {};
}

QIcon ApplicationIcon::of(const ApplicationInfo& app, const QColor& fallbackTint)
{
    if (app.iconName)
        if (QIcon icon = lookup(*app.iconName); !icon.isNull()) return icon;
    return SymbolIcons::icon("app", fallbackTint);
}
