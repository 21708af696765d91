#include "ui/screens/frame/DetailRouter.h"

#include "ui/screens/files/LargestFoldersView.h"
#include "ui/screens/files/SearchView.h"
#include "ui/screens/frame/PlaceholderView.h"

QWidget* DetailRouter::makeScreen(SidebarItem item, AppModel& model, QWidget* parent)
{
    switch (item) {
    case SidebarItem::largestFolders:
        return new LargestFoldersView(model, parent);
    case SidebarItem::search:
        return new SearchView(model, parent);
    default:
        break;
    }
    // Screens replace their placeholder here as they join the program.
    return new PlaceholderView(title(item), parent);
}
