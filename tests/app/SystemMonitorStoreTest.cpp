#include "app/CPUMonitor.h"
#include "app/MemoryMonitor.h"
#include "app/ProcessMonitor.h"
#include "app/SystemMonitorStore.h"
#include "platform/LinuxHostStatistics.h"
#include "platform/LinuxProcessTable.h"
#include "platform/LinuxSysctl.h"
#include "support/ProcFixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A clock that only moves when the test says so.
class FakeClock : public MonitorClock {
public:
    TimePoint now() override
    {
        std::lock_guard lock(mutex_);
        return current_;
    }

    void sleepUntil(TimePoint deadline, std::stop_token stop) override
    {
        std::unique_lock lock(mutex_);
        requested_.push_back(deadline - current_);
        ++sleeping_;
        changed_.notify_all();
        changed_.wait(lock, stop, [&] { return current_ >= deadline; });
        --sleeping_;
        changed_.notify_all();
    }

    void advance(std::chrono::steady_clock::duration by)
    {
        std::lock_guard lock(mutex_);
        current_ += by;
        changed_.notify_all();
    }

    // Waits until the loop has gone to sleep `count` times in all.
    bool waitForSleeps(size_t count)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return requested_.size() >= count && sleeping_ > 0; });
    }

    std::vector<std::chrono::steady_clock::duration> requested()
    {
        std::lock_guard lock(mutex_);
        return requested_;
    }

    int sleeping()
    {
        std::lock_guard lock(mutex_);
        return sleeping_;
    }

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    TimePoint current_{};
    std::vector<std::chrono::steady_clock::duration> requested_;
    int sleeping_ = 0;
};

bool processEventsUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class StoreFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "kestrel_app_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    }

    StoreFixture()
    {
        proc.write("proc/stat", "cpu0 100 0 50 850 0 0 0 0 0 0\ncpu1 10 0 10 80 0 0 0 0 0 0\nbtime 1700000000\n");
        proc.write("proc/meminfo", "MemTotal: 8000 kB\nMemFree: 2000 kB\nMemAvailable: 4000 kB\nAnonPages: 1000 kB\n");
        proc.writeProcess(ProcFixture::process(1, "init"));
        proc.writeProcess(ProcFixture::process(2, "kthreadd"));
    }

    std::unique_ptr<SystemMonitorStore> makeStore()
    {
        auto host = std::make_shared<LinuxHostStatistics>(proc.root());
        auto sysctl = std::make_shared<LinuxSysctl>(proc.root(), proc.dir.path() + "/sys");
        auto table = std::make_shared<LinuxProcessTable>(proc.root());
        SystemMonitorStore::Samplers samplers{
            std::make_shared<MemoryMonitor>(host, sysctl),
            std::make_shared<CPUMonitor>(host, sysctl, [clock = clock] { return clock->now(); }),
            std::make_shared<ProcessMonitor>(table, [this] { return uptime.load(); }, MachTime::Timebase{1, 1}),
            [this] { return interval.load(); },
            clock,
        };
        return std::make_unique<SystemMonitorStore>(samplers);
    }

    // Lets the sleeping loop run its next pass and waits until the results arrived.
    void nextPass(SystemMonitorStore& store)
    {
        const size_t passes = clock->requested().size();
        int appended = 0;
        const auto connection = QObject::connect(&store, &SystemMonitorStore::memoryHistoryChanged, [&] { ++appended; });
        uptime += 1'000'000'000;
        clock->advance(clock->requested().back());
        ASSERT_TRUE(clock->waitForSleeps(passes + 1));
        ASSERT_TRUE(processEventsUntil([&] { return appended > 0; }));
        QObject::disconnect(connection);
    }

    ProcFixture proc;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::atomic<double> interval{2.0};
    std::atomic<std::uint64_t> uptime{1'000'000'000};
};

} // namespace

TEST_F(StoreFixture, SubscriptionsStartAndStopTheLoop)
{
    auto store = makeStore();
    store->unsubscribe(true);
    store->unsubscribe(false);
    EXPECT_FALSE(store->isSampling()) << "an unsubscription without a subscription does nothing";

    store->subscribe(false);
    store->subscribe(false);
    ASSERT_TRUE(clock->waitForSleeps(1));
    store->unsubscribe(false);
    EXPECT_TRUE(store->isSampling()) << "the counter did not go below zero earlier, so one is left";
    store->unsubscribe(false);
    EXPECT_FALSE(store->isSampling());
    EXPECT_TRUE(processEventsUntil([&] { return clock->sleeping() == 0; })) << "the stopped loop wakes and ends";

    const auto sleeps = clock->requested().size();
    clock->advance(1h);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(clock->requested().size(), sleeps) << "no pass after the last unsubscription";
    ASSERT_TRUE(processEventsUntil([&] { return store->memory().has_value(); }));
    EXPECT_TRUE(store->memory()) << "the last values stay readable";
}

TEST_F(StoreFixture, CPUNeedsASecondPassAndProcessesNeedAProcessSubscriber)
{
    auto store = makeStore();
    int processesChanged = 0;
    int sampleTimeChanged = 0;
    QObject::connect(store.get(), &SystemMonitorStore::processesChanged, [&] { ++processesChanged; });
    QObject::connect(store.get(), &SystemMonitorStore::lastProcessSampleChanged, [&] { ++sampleTimeChanged; });

    store->subscribe(false);
    ASSERT_TRUE(clock->waitForSleeps(1));
    ASSERT_TRUE(processEventsUntil([&] { return store->memory().has_value(); }));
    EXPECT_FALSE(store->cpu());
    EXPECT_EQ(store->memory()->total, 8000u * 1024);
    EXPECT_EQ(store->memory()->free, 2000u * 1024);

    proc.write("proc/stat", "cpu0 160 10 70 1010 0 0 0 0 0 0\ncpu1 20 0 10 80 0 0 0 0 0 0\nbtime 1700000000\n");
    nextPass(*store);
    ASSERT_TRUE(store->cpu());
    EXPECT_NEAR(store->cpu()->perCore[0], 0.36, 1e-12);
    EXPECT_NEAR(store->cpu()->perCore[1], 1.0, 1e-12);
    EXPECT_TRUE(store->processes().empty());
    EXPECT_FALSE(store->lastProcessSample());

    store->subscribe(true);
    nextPass(*store);
    EXPECT_EQ(store->processes().size(), 2u);
    ASSERT_TRUE(store->lastProcessSample());
    EXPECT_EQ(processesChanged, 1);
    nextPass(*store);   // CPU shares appear: the list changes
    nextPass(*store);   // nothing changed: no signal for the list, but a new sample time
    EXPECT_EQ(processesChanged, 2);
    EXPECT_EQ(sampleTimeChanged, 3);

    store->unsubscribe(true);
    proc.writeProcess(ProcFixture::process(3, "late"));
    nextPass(*store);
    EXPECT_EQ(store->processes().size(), 2u) << "processes are sampled only for process subscribers";
    store->unsubscribe(false);
}

TEST_F(StoreFixture, IntervalIsReadEveryPassAndNeverBelowASecond)
{
    auto store = makeStore();
    interval = 0.25;
    store->subscribe(false);
    ASSERT_TRUE(clock->waitForSleeps(1));
    EXPECT_EQ(clock->requested().back(), 1s);

    interval = 5;
    ASSERT_TRUE(processEventsUntil([&] { return store->memory().has_value(); }));
    nextPass(*store);
    EXPECT_EQ(clock->requested().back(), 5s);

    interval = -3;
    nextPass(*store);
    nextPass(*store);
    EXPECT_EQ(clock->requested().back(), 1s);
    store->unsubscribe(false);
}

TEST_F(StoreFixture, HistoriesKeepTheLast150Samples)
{
    auto store = makeStore();
    store->subscribe(false);
    ASSERT_TRUE(clock->waitForSleeps(1));
    ASSERT_TRUE(processEventsUntil([&] { return store->memoryHistory().size() == 1; }));
    nextPass(*store);
    const MemorySnapshot second = store->memoryHistory()[1];
    for (int pass = 3; pass <= 151; ++pass) nextPass(*store);

    EXPECT_EQ(store->memoryHistory().size(), 150u);
    EXPECT_EQ(store->memoryHistory().front(), second);
    EXPECT_EQ(store->cpuHistory().size(), 150u) << "the first pass gave no CPU sample";
    EXPECT_EQ(store->memoryHistory().back(), *store->memory());
    store->unsubscribe(false);
}

TEST_F(StoreFixture, ATickSamplesOnceWithoutTheLoop)
{
    auto store = makeStore();
    store->tick();
    ASSERT_TRUE(processEventsUntil([&] { return store->memory().has_value(); }));
    EXPECT_FALSE(store->isSampling());
    EXPECT_TRUE(clock->requested().empty());
}

TEST_F(StoreFixture, NoThreadOutlivesTheStore)
{
    auto store = makeStore();
    store->subscribe(true);
    store->tick();
    ASSERT_TRUE(clock->waitForSleeps(1));
    store.reset();
    EXPECT_EQ(clock->sleeping(), 0) << "the loop was woken and joined";
    // Results still queued for the gone store must not be delivered.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    auto second = makeStore();
    second->subscribe(false);
    second->unsubscribe(false);
    second->subscribe(false);   // a stopped loop may still be finishing when a new one starts
    second.reset();
    EXPECT_EQ(clock->sleeping(), 0);
}

TEST(SystemMonitorStore, EffectiveInterval)
{
    const std::pair<double, double> cases[] = {{0.25, 1.0}, {0, 1.0}, {-1, 1.0}, {1, 1.0}, {2, 2.0}, {5, 5.0}};
    for (const auto& [setting, seconds] : cases) EXPECT_EQ(SystemMonitorStore::effectiveInterval(setting), seconds);
}
