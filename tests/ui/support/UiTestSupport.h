#pragma once

#include "app/support/AppTestSupport.h"

#include "app/AppModel.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "app/support/SettingsFolder.h"
#include "ui/screens/frame/KestrelmoorApp.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLocale>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

// One widget application for the whole test program, with a fixed style, font,
// palette and locale so that what the tests read and the pictures they save do
// not depend on the machine. The screen tests make it before their first case
// (UiApplication.cpp), so that no fixture makes a plain core application first.
inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "kestrel_ui_tests";
    static char* argv[] = {name, nullptr};
    auto* app = new QApplication(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(QApplication::style()->standardPalette());
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(10);
    QApplication::setFont(font);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    (void)app;
}

// Saves a picture of the widget next to the test program, for a person to look at.
inline void saveScreenshot(QWidget& widget, const QString& name)
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// The program over a scan cache and settings of its own; the first-run sheet counts
// as seen unless the test is about it.
inline std::unique_ptr<KestrelmoorApp> launchApp(const SettingsFolder& settings,
                                                 std::shared_ptr<StorageDatabase> database, bool firstRun = false)
{
    ensureApplication();
    settings.useForStandard();
    if (!firstRun)
        UserDefaults::standard().setValue(SettingsKey::hasSeenWelcome, true);
    return std::make_unique<KestrelmoorApp>(
        std::make_unique<AppModel>(std::move(database), emptyApplicationsStore(settings.path())));
}
