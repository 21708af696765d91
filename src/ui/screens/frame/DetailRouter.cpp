#include "ui/screens/frame/DetailRouter.h"

#include "ui/screens/frame/PlaceholderView.h"

QWidget* DetailRouter::makeScreen(SidebarItem item, AppModel& model, QWidget* parent)
{
    (void)model;
    // Screens replace their placeholder here as they join the program.
    return new PlaceholderView(title(item), parent);
}
