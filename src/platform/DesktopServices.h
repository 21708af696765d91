#pragma once

#include <string>
#include <vector>

// The desktop's file manager and sound, as the engine needs them. Implementations
// live beside the toolkit; tests pass a recording stand-in.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // Shows a file manager window with the items selected.
    virtual void revealItems(const std::vector<std::string>& paths) = 0;
    // Shows the folder's contents in the file manager.
    virtual void openFolder(const std::string& path) = 0;
    // The system alert sound.
    virtual void beep() = 0;
};
