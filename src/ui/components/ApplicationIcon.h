#pragma once

#include "index/ApplicationRecords.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSet>

#include <string>

// The icon a desktop entry names: an image file's path, or a name looked up in the
// icon themes and the shared pixmaps folders. The folders are searched off the
// main thread, once per name; found() announces each answer, so that views
// showing the generic symbol meanwhile can draw the icon. Main thread only.
class ApplicationIcon : public QObject {
    Q_OBJECT

public:
    // The named icon, or a null icon while it is being looked for or when no theme
    // or folder has it.
    static QIcon lookup(const std::string& iconName);

    // The application's own icon, or the generic application symbol.
    static QIcon of(const ApplicationInfo& app, const QColor& fallbackTint = QColor());

    // Whether the icon of this name was looked for already.
    static bool isKnown(const std::string& iconName);

    static ApplicationIcon& announcer();

    // Leaves out of the icon themes' folders each one where a theme's index or cache is
    // no regular file: the toolkit reads those on the main thread and would block on a
    // FIFO there. Called once after the application object is made.
    static void keepThemeFoldersReadable();

signals:
    void found();

private:
    ApplicationIcon() = default;

    QHash<QString, QIcon> icons_;
    QSet<QString> searching_;
};
