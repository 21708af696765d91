#include "ui/screens/frame/DetailRouter.h"

#include "ui/screens/frame/PlaceholderView.h"
#include "ui/screens/overview/DashboardView.h"

QWidget* DetailRouter::makeScreen(SidebarItem item, AppModel& model, QWidget* parent)
{
    // Screens replace their placeholder here as they join the program.
    switch (item) {
    case SidebarItem::dashboard: return new DashboardView(model, parent);
    default: break;
    }
    return new PlaceholderView(title(item), parent);
}
