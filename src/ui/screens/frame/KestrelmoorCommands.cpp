#include "ui/screens/frame/KestrelmoorCommands.h"

#include "app/AppModel.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "ui/components/CommonText.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

namespace {

// Numbered by position: Command-9 is Cleanup, and Developer Storage and
// Duplicates have no key.
constexpr SidebarItem numberedScreens[] = {
    SidebarItem::dashboard,    SidebarItem::storage,     SidebarItem::largestFiles,
    SidebarItem::largestFolders, SidebarItem::applications, SidebarItem::runningApps,
    SidebarItem::memory,       SidebarItem::cpu,         SidebarItem::cleanup,
};

} // namespace

KestrelmoorCommands::KestrelmoorCommands(AppModel& model, QMenuBar* menuBar, std::function<void()> openSettings,
                                         QObject* parent)
    : QObject(parent), model_(model)
{
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    QAction* settings = file->addAction(QStringLiteral("Settings…"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    connect(settings, &QAction::triggered, this, [openSettings = std::move(openSettings)] {
        if (openSettings)
            openSettings();
    });
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quit Kestrelmoor"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows);

    ScanCoordinator& scan = model_.scan();
    QMenu* scanMenu = menuBar->addMenu(QStringLiteral("&Scan"));
    scan_ = scanMenu->addAction(CommonText::scanAction());
    scan_->setShortcut(scanShortcut());
    connect(scan_, &QAction::triggered, &scan, [&scan] { scan.startScan(false); });
    resume_ = scanMenu->addAction(QStringLiteral("Resume Previous Scan"));
    resume_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(resume_, &QAction::triggered, &scan, [&scan] { scan.startScan(true); });
    pause_ = scanMenu->addAction(QStringLiteral("Pause Scan"));
    pause_->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P));
    connect(pause_, &QAction::triggered, &scan, &ScanCoordinator::pauseOrContinue);
    cancel_ = scanMenu->addAction(QStringLiteral("Cancel Scan"));
    cancel_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Period));
    connect(cancel_, &QAction::triggered, &scan, &ScanCoordinator::cancel);

    QMenu* view = menuBar->addMenu(QStringLiteral("&View"));
    view->addSeparator();
    int number = 1;
    for (SidebarItem item : numberedScreens) {
        QAction* action = view->addAction(qstr(title(item)));
        action->setShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(number++)));
        connect(action, &QAction::triggered, this, [this, item] { model_.setSelection(item); });
        screens_.push_back(action);
    }
    QAction* search = view->addAction(QStringLiteral("Search"));
    search->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F));
    connect(search, &QAction::triggered, this, [this] { model_.setSelection(SidebarItem::search); });
    screens_.push_back(search);

    connect(&scan, &ScanCoordinator::progressChanged, this, &KestrelmoorCommands::refresh);
    connect(&scan, &ScanCoordinator::resumableScanIDChanged, this, &KestrelmoorCommands::refresh);
    refresh();
}

QKeySequence KestrelmoorCommands::scanShortcut()
{
    return QKeySequence(Qt::CTRL | Qt::Key_R);
}

void KestrelmoorCommands::refresh()
{
    const ScanCoordinator& scan = model_.scan();
    const bool active = ScanCoordinator::isActive(scan.progress().phase);
    scan_->setEnabled(!active);
    resume_->setEnabled(!active && scan.resumableScanID().has_value());
    pause_->setEnabled(active);
    pause_->setText(scan.progress().phase.kind() == ScanPhase::Kind::paused ? QStringLiteral("Continue Scan")
                                                                           : QStringLiteral("Pause Scan"));
    cancel_->setEnabled(active);
}
