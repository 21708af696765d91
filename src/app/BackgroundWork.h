#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <type_traits>
#include <utility>

// Runs `work` on the shared thread pool, then `then(result)` on the main thread,
// but only while `context` still exists: a model destroyed meanwhile receives nothing.
template <class Work, class Then>
void runInBackground(QObject* context, Work work, Then then)
{
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([guard, work = std::move(work), then = std::move(then)]() mutable {
        if constexpr (std::is_void_v<std::invoke_result_t<Work&>>) {
            work();
            if (!QCoreApplication::instance())
                return;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [guard, then = std::move(then)]() mutable {
                    if (guard)
                        then();
                },
                Qt::QueuedConnection);
        } else {
            auto result = work();
            if (!QCoreApplication::instance())
                return;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [guard, then = std::move(then), result = std::move(result)]() mutable {
                    if (guard)
                        then(std::move(result));
                },
                Qt::QueuedConnection);
        }
    });
}

// Queues `call` onto the main thread; it runs only if `context` is still alive then.
template <class Call>
void postToMainThread(QObject* context, Call call)
{
    QPointer<QObject> guard(context);
    if (!QCoreApplication::instance())
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [guard, call = std::move(call)]() mutable {
            if (guard)
                call();
        },
        Qt::QueuedConnection);
}
