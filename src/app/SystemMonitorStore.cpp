#include "app/SystemMonitorStore.h"

#include "app/BackgroundWork.h"
#include "app/BackgroundWorker.h"
#include "app/system/CPUMonitor.h"
#include "app/system/MemoryMonitor.h"
#include "app/system/ProcessMonitor.h"
#include "app/SetIfChanged.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "app/UserDefaultsNotifier.h"

#include <QPointer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <stop_token>

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

struct SystemMonitorStore::PassResult {
    std::optional<MemorySnapshot> memory;
    std::optional<CPUSnapshot> cpu;
    std::optional<std::vector<ProcessSnapshot>> processes;
};

// What the main thread and a loop share.
struct SystemMonitorStore::LoopControl {
    std::stop_source stop;        // by unsubscribe() or the store going away
    std::mutex mutex;
    std::stop_source sleep;       // the current sleep's; stopped to wake the loop
    bool passRequested = false;   // by tick()
    bool intervalChanged = false; // by the settings, during a pass or a sleep
};

struct SystemMonitorStore::Shared {
    Samplers samplers;
    std::atomic<int> processSubscribers{0};
    std::atomic<double> intervalSeconds{defaultInterval};

    PassResult samplePass(std::stop_token stop)
    {
        PassResult result;
        result.memory = samplers.memory->sample();
        if (!stop.stop_requested()) result.cpu = samplers.cpu->sample();
        if (!stop.stop_requested() && processSubscribers > 0) result.processes = samplers.processes->sample();
        return result;
    }

    void runLoop(LoopControl& control, const std::function<void(PassResult)>& deliver)
    {
        using Duration = MonitorClock::TimePoint::duration;
        const auto seconds = [](double value) {
            return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(value));
        };
        const std::stop_token stop = control.stop.get_token();
        const std::stop_callback wakeOnStop(stop, [&control] {
            std::lock_guard lock(control.mutex);
            control.sleep.request_stop();
        });
        MonitorClock& clock = *samplers.clock;
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
            double interval = effectiveInterval(intervalSeconds.load());

            for (;;) {
                std::stop_token sleep;
                MonitorClock::TimePoint deadline;
                {
                    std::lock_guard lock(control.mutex);
                    if (stop.stop_requested()) return;
                    if (control.sleep.stop_requested()) control.sleep = std::stop_source();
                    if (control.intervalChanged) interval = effectiveInterval(intervalSeconds.load());
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
};

SystemMonitorStore::SystemMonitorStore(QObject* parent)
    : SystemMonitorStore(Samplers{std::make_shared<MemoryMonitor>(), std::make_shared<CPUMonitor>(),
                                  std::make_shared<ProcessMonitor>(), settingsInterval,
                                  std::make_shared<SteadyMonitorClock>()},
                         parent)
{
}

SystemMonitorStore::SystemMonitorStore(Samplers samplers, QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()),
      worker_(std::make_unique<BackgroundWorker>(QStringLiteral("System monitor")))
{
    shared_->samplers = std::move(samplers);
    // Passes are a second apart at least; a share over a much shorter span (two
    // passes racing at a restart) says nothing, and the baseline is kept instead.
    shared_->samplers.cpu->setMinimumInterval(shortestMeasuredSpan);
    shared_->samplers.processes->setMinimumInterval(
        static_cast<std::uint64_t>(std::chrono::nanoseconds(shortestMeasuredSpan).count()));
    connect(&UserDefaultsNotifier::instance(), &UserDefaultsNotifier::changed, this, [this](const QString& key) {
        if (!key.isEmpty() && key != SettingsKey::monitorInterval) return;
        refreshInterval();
        wakeLoop(false);
    });
}

SystemMonitorStore::~SystemMonitorStore()
{
    // Wakes a sleeping loop, so that the worker can end at once.
    if (loop_) loop_->stop.request_stop();
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
    if (processes) shared_->processSubscribers = ++processSubscribers_;
    if (loop_) return;
    refreshInterval();
    startLoop();
}

void SystemMonitorStore::unsubscribe(bool processes)
{
    subscribers_ = std::max(subscribers_ - 1, 0);
    if (processes) shared_->processSubscribers = processSubscribers_ = std::max(processSubscribers_ - 1, 0);
    if (subscribers_ > 0 || !loop_) return;
    // The loop ends at its next check without holding up the main thread; a new
    // loop waits on the worker until it has.
    loop_->stop.request_stop();
    loop_.reset();
}

void SystemMonitorStore::tick()
{
    if (loop_) {
        wakeLoop(true);
        return;
    }
    worker_->request([shared = shared_, self = QPointer(this)](std::stop_token stop) {
        PassResult result = shared->samplePass(stop);
        postToMainThread(self, [self, result = std::move(result)]() mutable { self->applyPass(std::move(result)); });
    });
}

void SystemMonitorStore::startLoop()
{
    loop_ = std::make_shared<LoopControl>();
    worker_->request([shared = shared_, control = loop_, self = QPointer(this)](std::stop_token stop) {
        const std::stop_callback stopWithWorker(stop, [&control] { control->stop.request_stop(); });
        shared->runLoop(*control, [&self](PassResult result) {
            postToMainThread(self, [self, result = std::move(result)]() mutable { self->applyPass(std::move(result)); });
        });
    });
}

void SystemMonitorStore::wakeLoop(bool requestPass)
{
    if (!loop_) return;
    LoopControl& control = *loop_;
    std::lock_guard lock(control.mutex);
    if (requestPass)
        control.passRequested = true;
    else
        control.intervalChanged = true;
    control.sleep.request_stop();
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
        // Both are stored before either is told: a screen told of the first list reads
        // its time too, and stops saying that the list is on its way.
        const bool listChanged = processes_ != *result.processes;
        processes_ = std::move(*result.processes);
        const std::optional<double> sampledAt = secondsSince1970();
        const bool timeChanged = lastProcessSample_ != sampledAt;
        lastProcessSample_ = sampledAt;
        if (listChanged) emit processesChanged();
        if (timeChanged) emit lastProcessSampleChanged();
    }
    refreshInterval();
}

void SystemMonitorStore::refreshInterval()
{
    shared_->intervalSeconds = shared_->samplers.interval ? shared_->samplers.interval() : 0.0;
}
