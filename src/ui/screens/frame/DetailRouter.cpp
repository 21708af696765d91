#include "ui/screens/frame/DetailRouter.h"

#include "ui/screens/files/DuplicateView.h"
#include "ui/screens/files/LargestFilesView.h"
#include "ui/screens/frame/PlaceholderView.h"
#include "ui/screens/overview/DashboardView.h"
#include "ui/screens/overview/StorageView.h"

QWidget* DetailRouter::makeScreen(SidebarItem item, AppModel& model, QWidget* parent)
{
    switch (item) {
    case SidebarItem::dashboard:
        return new DashboardView(model, parent);
    case SidebarItem::storage:
        return new StorageView(model, parent);
    case SidebarItem::largestFiles:
        return new LargestFilesView(model, parent);
    case SidebarItem::duplicates:
        return new DuplicateView(model, parent);
    default:
        // Screens replace their placeholder here as they join the program.
        return new PlaceholderView(title(item), parent);
    }
}
