#pragma once

#include <string>
#include <vector>

class DesktopServices;
class FileTrasher;

// Small file-manager actions of many screens. Called on the main thread.
namespace FinderActions {

// Selects the items that still exist in a file manager window; beeps when none does.
void reveal(const std::vector<std::string>& paths, DesktopServices& desktop);

// Shows the user's Trash.
void openTrash(DesktopServices& desktop, const FileTrasher& trasher);

} // namespace FinderActions
