#pragma once

#include <memory>

class DesktopServices;

// The program's desktop: the D-Bus file manager and portal, with the toolkit's
// sound, clipboard and URL opening behind them.
std::shared_ptr<DesktopServices> makeDesktopServices();
