#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <type_traits>
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

// Runs `work` on the shared thread pool, then `then(result)` on the main thread,
// but only while `context` still exists: a model destroyed meanwhile receives nothing.
template <class Work, class Then>
void runInBackground(QObject* context, Work work, Then then)
{
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([guard, work = std::move(work), then = std::move(then)]() mutable {
        if constexpr (std::is_void_v<std::invoke_result_t<Work&>>) {
            work();
            postToMainThread(guard, std::move(then));
        } else {
            postToMainThread(guard, [then = std::move(then), result = work()]() mutable { then(std::move(result)); });
        }
    });
}
