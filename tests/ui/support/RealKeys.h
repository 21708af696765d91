#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>
// Declares qt_handleKeyEvent, Qt's own entry for a key typed on the keyboard: unlike an
// event sent to a widget, it passes the window's shortcuts first, as a real key press does.
#include <QtTest/qtestkeyboard.h>

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

// A key pressed and released on `target` itself, as the widget with the focus gets it, for a
// check of one widget's own keys; the window's shortcuts do not see it.
inline void pressOn(QWidget* target, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &up);
}
