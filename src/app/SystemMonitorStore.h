#pragma once

#include "app/system/MonitorClock.h"
#include "app/system/MonitorRecords.h"
#include "index/ProcessRecords.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BackgroundWorker;
class CPUMonitor;
class MemoryMonitor;
class ProcessMonitor;

// The live source of memory, CPU and process figures for the screens. Lives on the
// main thread; samples on its worker thread only while at least one screen is
// subscribed, every "monitorInterval" seconds but never faster than once a second
// nor slower than once an hour.
class SystemMonitorStore : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t historyLimit = 150;
    // Seconds. The default is the registered "monitorInterval"; it stands in for a
    // setting that is no usable number of seconds.
    static constexpr double defaultInterval = 2.0;
    static constexpr double minimumInterval = 1.0;
    static constexpr double maximumInterval = 3600.0;

    // The "monitorInterval" setting in seconds; asked on the main thread after each
    // pass and whenever the settings announce a change of it.
    using IntervalSource = std::function<double()>;

    struct Samplers {
        std::shared_ptr<MemoryMonitor> memory;
        std::shared_ptr<CPUMonitor> cpu;
        std::shared_ptr<ProcessMonitor> processes;
        IntervalSource interval;
        std::shared_ptr<MonitorClock> clock;
    };

    explicit SystemMonitorStore(QObject* parent = nullptr);
    SystemMonitorStore(Samplers samplers, QObject* parent = nullptr);
    // Stops the sampling; a pass that does not end within the worker's bound is left behind.
    ~SystemMonitorStore() override;

    // Pass the same flag to unsubscribe as to subscribe.
    void subscribe(bool processes);
    void unsubscribe(bool processes);
    // A pass as soon as one can measure: while sampling, the loop's next pass is
    // brought forward to a second after its last one, and a pass that could tell no
    // CPU share yet is followed by one that can; otherwise one pass of its own.
    // Its results arrive later.
    void tick();

    const std::optional<MemorySnapshot>& memory() const { return memory_; }
    const std::optional<CPUSnapshot>& cpu() const { return cpu_; }
    const std::vector<ProcessSnapshot>& processes() const { return processes_; }
    const std::vector<MemorySnapshot>& memoryHistory() const { return memoryHistory_; }  // oldest first
    const std::vector<CPUSnapshot>& cpuHistory() const { return cpuHistory_; }           // oldest first
    std::optional<double> lastProcessSample() const { return lastProcessSample_; }       // seconds since 1970
    bool isSampling() const { return loop_ != nullptr; }

    // The wait between passes for a setting: the default for one that is not a
    // positive number, else the setting held between the minimum and the maximum.
    static double effectiveInterval(double setting);

signals:
    void memoryChanged();
    void cpuChanged();
    void processesChanged();
    void memoryHistoryChanged();
    void cpuHistoryChanged();
    void lastProcessSampleChanged();

private:
    struct PassResult;
    struct LoopControl;
    // What the worker's requests use; they hold it, so it outlives a store whose pass
    // was left behind.
    struct Shared;

    void startLoop();
    void applyPass(PassResult result);
    void refreshInterval();
    void wakeLoop(bool requestPass);

    template <class T>
    void appendToHistory(std::vector<T>& history, const T& value, void (SystemMonitorStore::*signal)())
    {
        history.push_back(value);
        if (history.size() > historyLimit)
            history.erase(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(history.size() - historyLimit));
        emit(this->*signal)();
    }

    std::shared_ptr<Shared> shared_;

    std::optional<MemorySnapshot> memory_;
    std::optional<CPUSnapshot> cpu_;
    std::vector<ProcessSnapshot> processes_;
    std::vector<MemorySnapshot> memoryHistory_;
    std::vector<CPUSnapshot> cpuHistory_;
    std::optional<double> lastProcessSample_;
    int subscribers_ = 0;
    int processSubscribers_ = 0;

    // The running loop's, none while idle.
    std::shared_ptr<LoopControl> loop_;
    // Last, so that it goes first: no request runs once the rest is gone.
    std::unique_ptr<BackgroundWorker> worker_;
};
