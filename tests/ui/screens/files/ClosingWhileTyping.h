#pragma once

#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

// Closes a shown screen while the user is typing in one of its fields, so that the field
// loses its focus (and reports editingFinished) while the screen's base class deletes it.
inline void destroyWhileTyping(std::unique_ptr<QWidget> screen, QLineEdit& field, const QString& typed)
{
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    field.setFocus();
    field.selectAll();
    QTest::keyClicks(&field, typed);
    ASSERT_TRUE(field.hasFocus());
    screen.reset();
}
