#pragma once

#include <QApplication>
#include <QWidget>
#include <QWindow>

// Qt's own entry for a key typed on the keyboard: unlike an event sent to a widget,
// it passes the window's shortcuts first, as a real key press does.
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
                                    const QString& text = QString(), bool autorep = false, ushort count = 1);

inline void showActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    QCoreApplication::processEvents();
}

inline void typeKey(QWidget& window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    const QString& text = QString())
{
    qt_handleKeyEvent(window.windowHandle(), QEvent::KeyPress, key, modifiers, text);
    qt_handleKeyEvent(window.windowHandle(), QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::processEvents();
}
