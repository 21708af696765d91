#include "ui/components/DesktopServicesFactory.h"

#include "analysis/HomeAbbreviation.h"
#include "platform/qt/DBusDesktopServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

std::shared_ptr<DesktopServices> makeDesktopServices(std::function<void(const std::string& path)> nothingCouldOpen,
                                                     std::function<bool(const QUrl& url)> openUrl)
{
    if (!openUrl)
        openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    DBusDesktopServices::Toolkit toolkit;
    toolkit.beep = [] { QApplication::beep(); };
    // The last resort of revealing, showing a folder and opening: when it fails too,
    // nothing happened on screen, and a beep is silent on most desktops.
    toolkit.open = [nothingCouldOpen = std::move(nothingCouldOpen), openUrl = std::move(openUrl)](const std::string& path) {
        if (openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
            return true;
        if (nothingCouldOpen && !QuietShowing::isActive())
            nothingCouldOpen(path);
        return false;
    };
    toolkit.copyText = [](const std::string& text) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(QString::fromStdString(text));
    };
    return std::make_shared<DBusDesktopServices>(std::move(toolkit));
}

namespace {

int quietShowings = 0;

} // namespace

QuietShowing::QuietShowing()
{
    ++quietShowings;
}

QuietShowing::~QuietShowing()
{
    --quietShowings;
}

bool QuietShowing::isActive()
{
    return quietShowings > 0;
}

AppAlert nothingCouldOpenAlert(const std::string& path)
{
    return AppAlert::make("Nothing could show this item",
                          "No file manager answered and no application could be started to open \u201C" +
                              abbreviatingHome(path) +
                              "\u201D. Install a file manager to show and open items from Kestrelmoor.");
}
