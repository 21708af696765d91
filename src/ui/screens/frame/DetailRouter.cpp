#include "ui/screens/frame/DetailRouter.h"

#include "ui/screens/files/LargestFilesView.h"
#include "ui/screens/frame/PlaceholderView.h"

QWidget* DetailRouter::makeScreen(SidebarItem item, AppModel& model, QWidget* parent)
{
    // Screens replace their placeholder here as they join the program.
    switch (item) {
    case SidebarItem::largestFiles:
        return new LargestFilesView(model, parent);
    default:
        break;
    }
    return new PlaceholderView(title(item), parent);
}
