#include "app/SystemMonitorStore.h"

#include "app/CPUMonitor.h"
#include "app/MemoryMonitor.h"
#include "app/ProcessMonitor.h"
#include "app/SetIfChanged.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace {

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
    return std::max(1.0, setting);
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
    reapFinishedWorkers();
    others_.push_back(startWorker(false));
}

std::unique_ptr<SystemMonitorStore::Worker> SystemMonitorStore::startWorker(bool loop)
{
    auto worker = std::make_unique<Worker>();
    worker->finished = std::make_shared<std::atomic<bool>>(false);
    worker->thread = std::jthread([this, loop, finished = worker->finished](std::stop_token stop) {
        if (loop)
            runLoop(stop);
        else
            runPass(stop);
        *finished = true;
    });
    return worker;
}

void SystemMonitorStore::reapFinishedWorkers()
{
    std::erase_if(others_, [](const std::unique_ptr<Worker>& worker) { return worker->finished->load(); });
}

void SystemMonitorStore::runLoop(std::stop_token stop)
{
    while (!stop.stop_requested()) {
        runPass(stop);
        const std::chrono::duration<double> interval(effectiveInterval(intervalSeconds_.load()));
        samplers_.clock->sleepUntil(
            samplers_.clock->now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval), stop);
    }
}

void SystemMonitorStore::runPass(std::stop_token stop)
{
    // A share is told only over the interval between passes, never over the
    // milliseconds between a pass and an extra one.
    const std::chrono::duration<double> interval(effectiveInterval(intervalSeconds_.load()));
    samplers_.cpu->setMinimumInterval(std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval));
    samplers_.processes->setMinimumInterval(
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(interval).count()));
    PassResult result;
    result.memory = samplers_.memory->sample();
    if (!stop.stop_requested()) result.cpu = samplers_.cpu->sample();
    if (!stop.stop_requested() && processSubscribers_ > 0)
        result.processes = samplers_.processes->sample();
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
