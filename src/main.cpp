#include "app/QuitSignals.h"
#include "platform/DescriptorLimit.h"
#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "platform/X11ProcessWindows.h"
#include "ui/components/SymbolIcons.h"
#include "ui/screens/frame/KestrelmoorApp.h"

#include <QApplication>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

// Where the running instance names itself; empty when the data folder cannot be had.
std::string instanceLockPath()
{
    try {
        return Paths::appending(SystemPaths::kestrelmoorSupportDirectory(), "Kestrelmoor.lock");
    } catch (const std::exception&) {
        return "";
    }
}

} // namespace

int main(int argc, char** argv)
{
    // A scan of a deep tree with several readers needs more than the usual soft limit.
    DescriptorLimit::raiseToHardLimit();
    // Under a file-size limit a write past it fails with "File too large" and is reported
    // where it was made (an export, the cache), instead of ending the program at once.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!displayAvailable()) {
        std::fputs("Kestrelmoor needs a graphical desktop, but no display was found (DISPLAY and WAYLAND_DISPLAY are "
                   "not set).\n",
                   stderr);
        return 1;
    }
    // One instance per user: two would write one scan cache. A later start shows the
    // running one instead.
    const std::string lockPath = instanceLockPath();
    const std::unique_ptr<InstanceLock> instance = lockPath.empty() ? nullptr : std::make_unique<InstanceLock>(lockPath);
    if (instance && instance->refusal()) {
        // Said where a terminal shows it and where a start from the desktop's menu does.
        std::fputs((*instance->refusal() + "\n").c_str(), stderr);
        QApplication application(argc, argv);
        QMessageBox::critical(nullptr, QStringLiteral("Kestrelmoor can't start"),
                              QString::fromStdString(*instance->refusal()));
        return 1;
    }
    if (instance && !instance->isFirst()) {
        X11ProcessWindows windows;
        const bool raised = instance->bringHolderToFront(windows);
        const std::string holder = instance->holder() ? " (process " + std::to_string(*instance->holder()) + ")" : "";
        std::fputs(("Kestrelmoor is already running" + holder +
                    (raised ? "; its window was brought to the front.\n" : "; switch to its window.\n"))
                       .c_str(),
                   stderr);
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrelmoor"));
    QApplication::setOrganizationName(QStringLiteral("Kestrelmoor"));
    QApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    // Lets the desktop match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrelmoor"));
    QApplication::setWindowIcon(SymbolIcons::applicationIcon());

    KestrelmoorApp app;
    // A logout, a hang-up or Ctrl-C ends the program as Quit does, not in the middle of its work.
    const QuitSignals quitSignals([](int) {
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    // The next start must not find the lock held while this one waits for its workers to end.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&instance] {
        if (instance)
            instance->release();
    });
    app.show();
    return application.exec();
}
