#include "ui/screens/system/ProcessContextMenu.h"

#include "app/system/RunningApplications.h"
#include "platform/DesktopServices.h"
#include "platform/ProcessWindows.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/CommonText.h"
#include "ui/screens/system/ProcessTableModel.h"

#include <QGuiApplication>
#include <QMenu>

#include <algorithm>

#include <unistd.h>

namespace ProcessContextMenu {

std::optional<std::string> frontRefusal(const ProcessSnapshot& process, ProcessWindows& windows)
{
    // The display variables may not tell; the toolkit knows which protocol it speaks.
    if (QGuiApplication::platformName() == QLatin1String("wayland")) return ProcessWindows::waylandText;
    return RunningApplications::frontRefusal(process, windows);
}

std::optional<std::string> refusal(const ProcessSnapshot& process)
{
    return SecurityUtils::evaluateProcess(process.pid, process.name, process.executablePath, process.ownerUID,
                                          ::getuid(), process.parentPID)
        .refusal;
}

namespace {

// Bring to Front is offered for a running application: a process with a window here, or
// one of an installed application, which may just have no window to raise right now.
// Daemons and command-line tools have none.
void fillOne(QMenu& menu, const ProcessSnapshot& process, const std::vector<ApplicationInfo>& apps,
             DesktopServices& desktop, ProcessWindows& windows, const Actions& actions)
{
    const auto reason = refusal(process);
    const auto why = frontRefusal(process, windows);
    if (!why || RunningApplications::applicationOf(process, apps)) {
        QAction* front = menu.addAction(QStringLiteral("Bring to Front"), [process, bring = actions.bringToFront] {
            if (bring) bring(process);
        });
        if (why) {
            front->setEnabled(false);
            front->setToolTip(QString::fromStdString(*why));
        }
    }
    if (process.executablePath) {
        const std::string path = ProcessTableModel::revealPath(*process.executablePath);
        menu.addAction(CommonText::revealAction(), [path, &desktop] { FinderActions::reveal({path}, desktop); });
        menu.addAction(QStringLiteral("Copy Path"), [path, &desktop] { desktop.copyText(path); });
    }
    menu.addSeparator();
    QAction* quit = menu.addAction(QStringLiteral("Quit…"), [process, quitTo = actions.quit] { quitTo({process}, false); });
    QAction* force = menu.addAction(QStringLiteral("Force Quit…"), [process, quitTo = actions.quit] { quitTo({process}, true); });
    if (reason) {
        quit->setEnabled(false);
        force->setEnabled(false);
        QAction* line = menu.addAction(QString::fromStdString(*reason));
        line->setEnabled(false);
    }
}

// Several processes: bringing more than one to the front means nothing, so that
// item stays out; the quit items act on the processes that may be quit, and each
// distinct refusal is named once.
void fillSeveral(QMenu& menu, const std::vector<ProcessSnapshot>& processes, DesktopServices& desktop,
                 const Actions& actions)
{
    std::vector<std::string> paths;
    std::vector<ProcessSnapshot> allowed;
    std::vector<std::string> reasons;
    for (const ProcessSnapshot& process : processes) {
        if (process.executablePath) {
            const std::string path = ProcessTableModel::revealPath(*process.executablePath);
            if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
        }
        if (const auto reason = refusal(process)) {
            if (std::find(reasons.begin(), reasons.end(), *reason) == reasons.end()) reasons.push_back(*reason);
        } else {
            allowed.push_back(process);
        }
    }
    if (!paths.empty()) {
        menu.addAction(CommonText::revealAction(), [paths, &desktop] { FinderActions::reveal(paths, desktop); });
        std::string text;
        for (const std::string& path : paths) text += (text.empty() ? "" : "\n") + path;
        menu.addAction(QStringLiteral("Copy Path"), [text, &desktop] { desktop.copyText(text); });
    }
    menu.addSeparator();
    QAction* quit = menu.addAction(QStringLiteral("Quit…"), [allowed, quitTo = actions.quit] { quitTo(allowed, false); });
    QAction* force = menu.addAction(QStringLiteral("Force Quit…"), [allowed, quitTo = actions.quit] { quitTo(allowed, true); });
    quit->setEnabled(!allowed.empty());
    force->setEnabled(!allowed.empty());
    for (const std::string& reason : reasons) menu.addAction(QString::fromStdString(reason))->setEnabled(false);
}

} // namespace

void fill(QMenu& menu, const std::vector<ProcessSnapshot>& processes, const std::vector<ApplicationInfo>& apps,
          DesktopServices& desktop, ProcessWindows& windows, const Actions& actions)
{
    if (processes.size() == 1)
        fillOne(menu, processes.front(), apps, desktop, windows, actions);
    else if (!processes.empty())
        fillSeveral(menu, processes, desktop, actions);
}

} // namespace ProcessContextMenu
