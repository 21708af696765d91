#pragma once

#include "platform/DesktopServices.h"

#include <string>
#include <vector>

// Records what the program asked of the desktop instead of touching it.
struct RecordingDesktop : DesktopServices {
    std::vector<std::vector<std::string>> revealed;
    std::vector<std::string> openedFolders;
    std::vector<std::string> openedItems;
    std::vector<std::string> copied;
    int beeps = 0;
    bool opens = true;

    void revealItems(const std::vector<std::string>& paths) override { revealed.push_back(paths); }
    void openFolder(const std::string& path) override { openedFolders.push_back(path); }
    bool openItem(const std::string& path) override
    {
        openedItems.push_back(path);
        return opens;
    }
    void copyText(const std::string& text) override { copied.push_back(text); }
    void beep() override { ++beeps; }
};
