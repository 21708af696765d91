#pragma once

#include <QString>

// Words that many screens show for the same thing, written once.
namespace CommonText {

// The action that shows items selected in the file manager.
inline QString revealAction() { return QStringLiteral("Show in File Manager"); }

// The action that starts a scan, on the toolbar, in the menu and on empty screens.
inline QString scanAction() { return QStringLiteral("Scan Computer"); }

// The message of the screens that have nothing to show before a first scan.
inline QString scanRequiredMessage()
{
    return QStringLiteral("Scan your computer to see what's using space. Scanning is read-only and runs on this "
                          "computer only.");
}

} // namespace CommonText
