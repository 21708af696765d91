#include "ui/screens/system/ProcessContextMenu.h"

#include "app/RunningApplications.h"
#include "platform/DesktopServices.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/screens/system/ProcessTableModel.h"

#include <QMenu>

#include <unistd.h>

namespace ProcessContextMenu {

const ApplicationInfo* runningApplication(const ProcessSnapshot& process, const std::vector<ApplicationInfo>& apps)
{
    const ApplicationInfo* app = RunningApplications::applicationOf(process, apps);
    return app && RunningApplications::canActivate(*app) ? app : nullptr;
}

std::optional<std::string> refusal(const ProcessSnapshot& process)
{
    return SecurityUtils::evaluateProcess(process.pid, process.name, process.executablePath, process.ownerUID,
                                          ::getuid(), process.parentPID)
        .refusal;
}

void fill(QMenu& menu, const ProcessSnapshot& process, const std::vector<ApplicationInfo>& apps,
          DesktopServices& desktop, const Actions& actions)
{
    const auto reason = refusal(process);
    if (const ApplicationInfo* app = runningApplication(process, apps)) {
        menu.addAction(QStringLiteral("Bring to Front"), [app = *app, failed = actions.failed] {
            if (const auto message = RunningApplications::activate(app); message && failed) failed(*message);
        });
    }
    if (process.executablePath) {
        const std::string path = ProcessTableModel::revealPath(*process.executablePath);
        menu.addAction(QStringLiteral("Reveal in Finder"), [path, &desktop] { FinderActions::reveal({path}, desktop); });
        menu.addAction(QStringLiteral("Copy Path"), [path, &desktop] { desktop.copyText(path); });
    }
    menu.addSeparator();
    QAction* quit = menu.addAction(QStringLiteral("Quit…"), [process, quitTo = actions.quit] { quitTo(process, false); });
    QAction* force = menu.addAction(QStringLiteral("Force Quit…"), [process, quitTo = actions.quit] { quitTo(process, true); });
    if (reason) {
        quit->setEnabled(false);
        force->setEnabled(false);
        QAction* line = menu.addAction(QString::fromStdString(*reason));
        line->setEnabled(false);
    }
}

} // namespace ProcessContextMenu
