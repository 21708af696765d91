#include "app/SystemMonitorStore.h"

#include "app/system/CPUMonitor.h"
#include "app/system/MemoryMonitor.h"
#include "app/system/ProcessMonitor.h"
#include "app/SetIfChanged.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "app/UserDefaultsNotifier.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::steady_clock::duration shortestMeasuredSpan = 500ms;

double settingsInterval()
{
    return UserDefaults::standard().doubleValue(SettingsKey::monitorInterval);
}

double secondsSince1970()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

SystemMonitorStore::SystemMonitorStore(QObject* parent)
    : SystemMonitorStore(Samplers{std::make_shared<MemoryMonitor>(), std::make_shared<CPUMonitor>(),
                                  std::make_shared<ProcessMonitor>(), settingsInterval,
                                  std::make_shared<SteadyMonitorClock>()},
                         parent)
{
}

SystemMonitorStore::SystemMonitorStore(Samplers samplers, QObject* parent)
    : QObject(parent), samplers_(std::move(samplers))
{
    // Passes are a second apart at least; a share over a much shorter span (two
    // passes racing at a restart) says nothing, and the baseline is kept instead.
    samplers_.cpu->setMinimumInterval(shortestMeasuredSpan);
    samplers_.processes->setMinimumInterval(
        static_cast<std::uint64_t>(std::chrono::nanoseconds(shortestMeasuredSpan).count()));
    connect(&UserDefaultsNotifier::instance(), &UserDefaultsNotifier::changed, this, [this](const QString& key) {
        if (!key.isEmpty() && key != SettingsKey::monitorInterval) return;
        refreshInterval();
        wakeLoop(false);
    });
}

SystemMonitorStore::~SystemMonitorStore()
{
    // Threads post to this object; none may run once it starts going away.
    if (loop_) loop_->thread.request_stop();
    for (auto& worker : others_) worker->thread.request_stop();
    loop_.reset();
    others_.clear();
}

double SystemMonitorStore::effectiveInterval(double setting)
{
    // A hand-edited "inf" or "1e300" must not overflow the clock.
    if (!std::isfinite(setting)) return defaultInterval;
    return std::clamp(setting, minimumInterval, maximumInterval);
}

void SystemMonitorStore::subscribe(bool processes)
{
    ++subscribers_;
    if (processes) ++processSubscribers_;
    if (loop_) return;
    reapFinishedWorkers();
    refreshInterval();
    loop_ = startWorker(true);
}

void SystemMonitorStore::unsubscribe(bool processes)
{
    subscribers_ = std::max(subscribers_ - 1, 0);
    if (processes) processSubscribers_ = std::max(processSubscribers_ - 1, 0);
    if (subscribers_ > 0 || !loop_) return;
    // The loop ends at its next check without holding up the main thread.
    loop_->thread.request_stop();
    others_.push_back(std::move(loop_));
}

void SystemMonitorStore::tick()
{
    if (loop_) {
        wakeLoop(true);
        return;
    }
    reapFinishedWorkers();
    others_.push_back(startWorker(false));
}

void SystemMonitorStore::wakeLoop(bool requestPass)
{
    if (!loop_) return;
    LoopControl& control = *loop_->control;
    std::lock_guard lock(control.mutex);
    if (requestPass)
        control.passRequested = true;
    else
        control.intervalChanged = true;
    control.sleep.request_stop();
}

std::unique_ptr<SystemMonitorStore::Worker> SystemMonitorStore::startWorker(bool loop)
{
    auto worker = std::make_unique<Worker>();
    worker->finished = std::make_shared<std::atomic<bool>>(false);
    if (loop) worker->control = std::make_shared<LoopControl>();
    worker->thread = std::jthread([this, control = worker->control, finished = worker->finished](std::stop_token stop) {
        if (control)
            runLoop(*control, stop);
        else
            deliver(samplePass(stop));
        *finished = true;
    });
    return worker;
}

void SystemMonitorStore::reapFinishedWorkers()
{
    std::erase_if(others_, [](const std::unique_ptr<Worker>& worker) { return worker->finished->load(); });
}

void SystemMonitorStore::runLoop(LoopControl& control, std::stop_token stop)
{
    using Duration = MonitorClock::TimePoint::duration;
    const auto seconds = [](double value) {
        return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(value));
    };
    const std::stop_callback wakeOnStop(stop, [&control] {
        std::lock_guard lock(control.mutex);
        control.sleep.request_stop();
    });
    MonitorClock& clock = *samplers_.clock;
    bool broughtForward = false;
    while (!stop.stop_requested()) {
        const auto started = clock.now();
        PassResult result = samplePass(stop);
        {
            // A request is served by a pass that ends after it, unless that pass
            // could tell no CPU share yet: then by the one brought forward.
            std::lock_guard lock(control.mutex);
            if (result.cpu || broughtForward) control.passRequested = false;
        }
        deliver(std::move(result));
        const auto ended = clock.now();
        double interval = effectiveInterval(intervalSeconds_.load());

        for (;;) {
            std::stop_token sleep;
            MonitorClock::TimePoint deadline;
            {
                std::lock_guard lock(control.mutex);
                if (stop.stop_requested()) return;
                if (control.sleep.stop_requested()) control.sleep = std::stop_source();
                if (control.intervalChanged) interval = effectiveInterval(intervalSeconds_.load());
                control.intervalChanged = false;
                deadline = ended + seconds(interval);
                const auto soonest = started + seconds(minimumInterval);
                broughtForward = control.passRequested && soonest < deadline;
                if (broughtForward) deadline = soonest;
                sleep = control.sleep.get_token();
            }
            if (clock.now() >= deadline) break;
            // Woken early by a request or a new interval, the deadline is worked out again.
            clock.sleepUntil(deadline, sleep);
        }
    }
}

SystemMonitorStore::PassResult SystemMonitorStore::samplePass(std::stop_token stop)
{
    PassResult result;
    result.memory = samplers_.memory->sample();
    if (!stop.stop_requested()) result.cpu = samplers_.cpu->sample();
    if (!stop.stop_requested() && processSubscribers_ > 0) result.processes = samplers_.processes->sample();
    return result;
}

void SystemMonitorStore::deliver(PassResult result)
{
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)]() mutable { applyPass(std::move(result)); }, Qt::QueuedConnection);
}

void SystemMonitorStore::applyPass(PassResult result)
{
    if (result.memory) {
        setIfChanged(this, memory_, result.memory, &SystemMonitorStore::memoryChanged);
        appendToHistory(memoryHistory_, *result.memory, &SystemMonitorStore::memoryHistoryChanged);
    }
    if (result.cpu) {
        setIfChanged(this, cpu_, result.cpu, &SystemMonitorStore::cpuChanged);
        appendToHistory(cpuHistory_, *result.cpu, &SystemMonitorStore::cpuHistoryChanged);
    }
    if (result.processes) {
        setIfChanged(this, processes_, std::move(*result.processes), &SystemMonitorStore::processesChanged);
        setIfChanged(this, lastProcessSample_, std::optional<double>(secondsSince1970()),
                     &SystemMonitorStore::lastProcessSampleChanged);
    }
    refreshInterval();
}

void SystemMonitorStore::refreshInterval()
{
    intervalSeconds_ = samplers_.interval ? samplers_.interval() : 0.0;
}
