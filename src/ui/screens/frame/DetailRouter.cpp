#include "ui/screens/frame/DetailRouter.h"

#include "ui/screens/files/CleanupView.h"
#include "ui/screens/files/DeveloperStorageView.h"
#include "ui/screens/files/DuplicateView.h"
#include "ui/screens/files/LargestFilesView.h"
#include "ui/screens/files/LargestFoldersView.h"
#include "ui/screens/files/SearchView.h"
#include "ui/screens/overview/DashboardView.h"
#include "ui/components/PermissionHelpSheet.h"
#include "ui/screens/overview/StorageView.h"
#include "ui/screens/preferences/PermissionsView.h"
#include "ui/screens/preferences/PrivacyView.h"
#include "ui/screens/preferences/SettingsView.h"
#include "ui/screens/system/CPUView.h"
#include "ui/screens/system/MemoryView.h"
#include "ui/screens/system/ApplicationsView.h"
#include "ui/screens/system/RunningAppsView.h"

QWidget* DetailRouter::makeScreen(SidebarItem item, AppModel& model, QWidget* parent)
{
    switch (item) {
    case SidebarItem::dashboard:
        return new DashboardView(model, parent);
    case SidebarItem::storage:
        return new StorageView(model, parent);
    case SidebarItem::developer:
        return new DeveloperStorageView(model, parent);
    case SidebarItem::cleanup:
        return new CleanupView(model, parent);
    case SidebarItem::largestFiles:
        return new LargestFilesView(model, parent);
    case SidebarItem::largestFolders: {
        auto* screen = new LargestFoldersView(model, parent);
        screen->setPermissionHelp([](QWidget* owner) {
            auto* sheet = new PermissionHelpSheet(owner);
            sheet->setAttribute(Qt::WA_DeleteOnClose);
            sheet->open();
        });
        return screen;
    }
    case SidebarItem::search:
        return new SearchView(model, parent);
    case SidebarItem::permissions:
        return new PermissionsView(model, parent);
    case SidebarItem::privacy:
        return new PrivacyView(model, parent);
    case SidebarItem::settings:
        return new SettingsView(model, parent);
    case SidebarItem::applications:
        return new ApplicationsView(model, parent);
    case SidebarItem::runningApps:
        return new RunningAppsView(model, parent);
    case SidebarItem::duplicates:
        return new DuplicateView(model, parent);
    case SidebarItem::cpu:
        return new CPUView(model, parent);
    case SidebarItem::memory:
        return new MemoryView(model, parent);
    }
    // Every row has its case above; the compiler warns when a new row lacks one.
    return new DashboardView(model, parent);
}
