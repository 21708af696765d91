#pragma once

#include "app/BackgroundWork.h"
#include "app/system/ErrorText.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <type_traits>
#include <utility>

// Background loads of one screen or model, where only the newest request counts.
// Each start() runs its work on the shared pool and asks the work of the previous
// request to stop; an answer is stored only while no newer request was started
// and the owner still exists. Main thread only.
class LatestLoad : public QObject {
    Q_OBJECT

public:
    explicit LatestLoad(QObject* owner);
    ~LatestLoad() override;

    // `work` runs off the main thread, taking a std::stop_token when it can stop
    // early. `then(result)` runs on the main thread for the newest request only; so
    // does `failed(message)` when the work threw.
    template <class Work, class Then>
    void start(Work work, Then then, std::function<void(const std::string&)> failed = {});

    // A load of its own for work whose every answer counts (nothing newer replaces
    // it): start() on a LatestLoad under `owner` that goes away after its answer.
    template <class Work, class Then>
    static void once(QObject* owner, Work work, Then then, std::function<void(const std::string&)> failed = {});

    // Forgets the running request (its answer will be dropped) and asks it to stop.
    void cancel();

    // A report callable for the work of the request that the next start() opens; it may
    // be called on any thread. Each call runs `report(value)` on the main thread, but
    // only while that request is still the newest and running.
    template <class Value, class Report>
    std::function<void(const Value&)> reporterForNextStart(Report report);

    bool isBusy() const { return busy_; }
    // Rises with every start() and cancel().
    std::uint64_t generation() const { return generation_; }

signals:
    void busyChanged(bool busy);

private:
    std::uint64_t begin();
    // True when `request` is still the newest; then the load is no longer busy.
    bool finish(std::uint64_t request);
    void setBusy(bool busy);

    std::uint64_t generation_ = 0;
    std::stop_source stop_;
    bool busy_ = false;
};

template <class Value, class Report>
std::function<void(const Value&)> LatestLoad::reporterForNextStart(Report report)
{
    const std::uint64_t request = generation_ + 1;
    QPointer<LatestLoad> self(this);
    return [self, request, report = std::move(report)](const Value& value) {
        postToMainThread(self, [self, request, report, value]() mutable {
            if (self && self->generation_ == request && self->busy_)
                report(value);
        });
    };
}

template <class Work, class Then>
void LatestLoad::once(QObject* owner, Work work, Then then, std::function<void(const std::string&)> failed)
{
    auto* load = new LatestLoad(owner);
    load->start(
        std::move(work),
        [load, then = std::move(then)](auto&&... result) mutable {
            load->deleteLater();
            then(std::forward<decltype(result)>(result)...);
        },
        [load, failed = std::move(failed)](const std::string& message) {
            load->deleteLater();
            if (failed)
                failed(message);
        });
}

template <class Work, class Then>
void LatestLoad::start(Work work, Then then, std::function<void(const std::string&)> failed)
{
    const std::uint64_t request = begin();
    const std::stop_token token = stop_.get_token();
    QPointer<LatestLoad> self(this);
    auto deliver = [self, request](auto call) {
        postToMainThread(self, [self, request, call = std::move(call)]() mutable {
            if (self && self->finish(request))
                call();
        });
    };
    QThreadPool::globalInstance()->start([work = std::move(work), then = std::move(then), failed = std::move(failed),
                                          token, deliver]() mutable {
        auto report = [&](std::string message) {
            deliver([failed, message = std::move(message)] {
                if (failed)
                    failed(message);
            });
        };
        try {
            auto run = [&] {
                if constexpr (std::is_invocable_v<Work&, std::stop_token>)
                    return work(token);
                else
                    return work();
            };
            if constexpr (std::is_void_v<decltype(run())>) {
                run();
                deliver([then]() mutable { then(); });
            } else {
                deliver([then, result = run()]() mutable { then(std::move(result)); });
            }
        } catch (...) {
            report(errorText());
        }
    });
}
