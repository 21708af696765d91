#pragma once

#include <string>
#include <vector>

// The desktop as the program needs it: the file manager, opening items with their
// default application, the clipboard and the alert sound. One object serves the
// whole program; tests pass a recording stand-in.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // Shows a file manager window with the items selected.
    virtual void revealItems(const std::vector<std::string>& paths) = 0;
    // Shows the folder's contents in the file manager.
    virtual void openFolder(const std::string& path) = 0;
    // Opens a file or folder with its default application; false when nothing
    // could be asked to open it.
    virtual bool openItem(const std::string& path) = 0;
    // Replaces the clipboard's contents with plain text.
    virtual void copyText(const std::string& text) = 0;
    // The system alert sound.
    virtual void beep() = 0;
};
