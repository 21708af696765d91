#pragma once

#include "platform/DesktopServices.h"

#include <functional>

// The file manager through the freedesktop.org D-Bus interfaces: FileManager1 to select
// items or show folders, the desktop portal's OpenURI when no file manager answers. The
// sound and the last-resort folder opening need the GUI toolkit, so the application passes
// them in; without them they do nothing.
class DBusDesktopServices : public DesktopServices {
public:
    using Beep = std::function<void()>;
    using OpenFolder = std::function<bool(const std::string& path)>;

    explicit DBusDesktopServices(Beep beep = {}, OpenFolder fallbackOpenFolder = {});

    void revealItems(const std::vector<std::string>& paths) override;
    void openFolder(const std::string& path) override;
    void beep() override;

private:
    Beep beep_;
    OpenFolder fallbackOpenFolder_;
};
