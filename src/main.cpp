#include "platform/DescriptorLimit.h"
#include "ui/components/SymbolIcons.h"
#include "ui/screens/frame/KestrelmoorApp.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Qt aborts with a long plugin report when no display can be reached; say it in
// one line instead.
bool displayAvailable()
{
    const std::string platform = environment("QT_QPA_PLATFORM");
    const bool x11 = !environment("DISPLAY").empty();
    const bool wayland = !environment("WAYLAND_DISPLAY").empty();
    if (platform.empty())
        return x11 || wayland;
    if (platform.rfind("xcb", 0) == 0)
        return x11;
    if (platform.rfind("wayland", 0) == 0)
        return wayland;
    return true;   // offscreen, vnc, eglfs and the like need no desktop session
}

} // namespace

int main(int argc, char** argv)
{
    // A scan of a deep tree with several readers needs more than the usual soft limit.
    DescriptorLimit::raiseToHardLimit();
    if (!displayAvailable()) {
        std::fputs("Kestrelmoor needs a graphical desktop, but no display was found (DISPLAY and WAYLAND_DISPLAY are "
                   "not set).\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrelmoor"));
    QApplication::setOrganizationName(QStringLiteral("Kestrelmoor"));
    QApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    // Lets the desktop match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrelmoor"));
    QApplication::setWindowIcon(SymbolIcons::applicationIcon());

    KestrelmoorApp app;
    app.show();
    return application.exec();
}
