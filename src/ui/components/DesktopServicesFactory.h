#pragma once

#include "app/system/AppAlert.h"

#include <functional>
#include <memory>
#include <string>

class DesktopServices;
class QUrl;

// The program's desktop: the D-Bus file manager and portal, with the toolkit's
// sound, clipboard and URL opening behind them. When none of them could be asked to
// show or open an item (no file manager, no portal, no opener), `nothingCouldOpen`
// is told the item, so that the user hears of it. `openUrl` stands in for the
// toolkit's opener in tests.
std::shared_ptr<DesktopServices> makeDesktopServices(
    std::function<void(const std::string& path)> nothingCouldOpen = {},
    std::function<bool(const QUrl& url)> openUrl = {});

// What the user is told then.
AppAlert nothingCouldOpenAlert(const std::string& path);

// While one exists, an item that nothing could show is not reported: it marks a show the
// user did not ask for, such as the saved file at the end of an export. Main thread only.
class QuietShowing {
public:
    QuietShowing();
    ~QuietShowing();
    QuietShowing(const QuietShowing&) = delete;
    QuietShowing& operator=(const QuietShowing&) = delete;

    static bool isActive();
};
