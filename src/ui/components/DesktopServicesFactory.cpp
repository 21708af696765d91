#include "ui/components/DesktopServicesFactory.h"

#include "platform/qt/DBusDesktopServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

std::shared_ptr<DesktopServices> makeDesktopServices()
{
    DBusDesktopServices::Toolkit toolkit;
    toolkit.beep = [] { QApplication::beep(); };
    toolkit.open = [](const std::string& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    };
    toolkit.copyText = [](const std::string& text) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(QString::fromStdString(text));
    };
    return std::make_shared<DBusDesktopServices>(std::move(toolkit));
}
