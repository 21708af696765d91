#pragma once

#include "platform/DesktopServices.h"

#include <functional>

// The file manager through the freedesktop.org D-Bus interfaces: FileManager1 to select
// items or show folders, the desktop portal's OpenURI to open items or when no file
// manager answers. The sound, the clipboard and the last-resort opening need the GUI
// toolkit, so the application passes them in; without them they do nothing.
class DBusDesktopServices : public DesktopServices {
public:
    struct Toolkit {
        std::function<void()> beep;
        // Opens a file or folder by the toolkit's own means; false when it could not.
        std::function<bool(const std::string& path)> open;
        std::function<void(const std::string& text)> copyText;
    };

    explicit DBusDesktopServices(Toolkit toolkit = {});

    void revealItems(const std::vector<std::string>& paths) override;
    void openFolder(const std::string& path) override;
    bool openItem(const std::string& path) override;
    void copyText(const std::string& text) override;
    void beep() override;

private:
    Toolkit toolkit_;
};
