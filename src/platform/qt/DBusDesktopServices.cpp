#include "platform/qt/DBusDesktopServices.h"

#include "platform/Paths.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

namespace {

constexpr auto fileManagerService = "org.freedesktop.FileManager1";
constexpr auto fileManagerPath = "/org/freedesktop/FileManager1";
constexpr auto portalService = "org.freedesktop.portal.Desktop";

QStringList fileURIs(const std::vector<std::string>& paths)
{
    QStringList uris;
    for (const std::string& path : paths)
        uris << QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded);
    return uris;
}

// Running, or startable on demand by the bus.
bool serviceAvailable(const QDBusConnection& bus, const QString& name)
{
    const QDBusConnectionInterface* interface = bus.interface();
    if (!interface)
        return false;
    if (interface->isServiceRegistered(name).value())
        return true;
    return interface->activatableServiceNames().value().contains(name);
}

// Fire and forget: a file manager that starts on demand may take seconds to answer,
// and the caller is the user-interface thread.
bool sendToFileManager(const QString& method, const std::vector<std::string>& paths)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !serviceAvailable(bus, fileManagerService))
        return false;
    QDBusMessage message =
        QDBusMessage::createMethodCall(fileManagerService, fileManagerPath, fileManagerService, method);
    message << fileURIs(paths) << QString();
    return bus.send(message);
}

bool openThroughPortal(const std::string& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !serviceAvailable(bus, portalService))
        return false;
    QDBusMessage message = QDBusMessage::createMethodCall(portalService, "/org/freedesktop/portal/desktop",
                                                          "org.freedesktop.portal.OpenURI", "OpenURI");
    message << QString() << fileURIs({path}).value(0) << QVariantMap();
    return bus.send(message);
}

} // namespace

DBusDesktopServices::DBusDesktopServices(Toolkit toolkit) : toolkit_(std::move(toolkit)) {}

void DBusDesktopServices::revealItems(const std::vector<std::string>& paths)
{
    if (paths.empty() || sendToFileManager("ShowItems", paths))
        return;
    // Without a file manager that selects, the folder of the first item is the closest thing.
    openFolder(Paths::deletingLastComponent(paths.front()));
}

void DBusDesktopServices::openFolder(const std::string& path)
{
    if (sendToFileManager("ShowFolders", {path}))
        return;
    openItem(path);
}

bool DBusDesktopServices::openItem(const std::string& path)
{
    if (openThroughPortal(path))
        return true;
    return toolkit_.open && toolkit_.open(path);
}

void DBusDesktopServices::copyText(const std::string& text)
{
    if (toolkit_.copyText)
        toolkit_.copyText(text);
}

void DBusDesktopServices::beep()
{
    if (toolkit_.beep)
        toolkit_.beep();
}
