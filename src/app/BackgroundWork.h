#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <utility>

// Queues `call` onto the main thread; it runs only if `context` is still alive then.
// Takes the guard itself, never a raw pointer: off the main thread the object may be
// destroyed at any moment, and making a guard from a pointer reads the object.
template <class Object, class Call>
void postToMainThread(QPointer<Object> context, Call call)
{
    if (!QCoreApplication::instance())
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [context, call = std::move(call)]() mutable {
            if (context)
                call();
        },
        Qt::QueuedConnection);
}
