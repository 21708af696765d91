#include "app/system/CPUMonitor.h"
#include "app/system/MemoryMonitor.h"
#include "app/system/ProcessMonitor.h"
#include "app/SettingsKey.h"
#include "app/BackgroundWorker.h"
#include "app/SystemMonitorStore.h"
#include "app/UserDefaultsNotifier.h"
#include "platform/LinuxHostStatistics.h"
#include "platform/LinuxProcessTable.h"
#include "platform/LinuxSysctl.h"
#include "app/support/AppTestSupport.h"
#include "support/FakeMonitorClock.h"
#include "support/HeldGate.h"
#include "support/ProcFixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <limits>

namespace {

using namespace std::chrono_literals;

// The process table, with a gate that can hold a pass inside the process sampler.
class GatedTable : public LinuxProcessTable {
public:
    using LinuxProcessTable::LinuxProcessTable;

    std::vector<std::int32_t> listAllPIDs() override
    {
        pass_();
        return LinuxProcessTable::listAllPIDs();
    }

    HeldGate gate{true};

private:
    const std::function<void()> pass_ = gate.passage();
};

class SystemMonitorStoreTest : public ::testing::Test {
protected:
    SystemMonitorStoreTest()
    {
        ensureCoreApplication();
        proc.write("proc/stat", "cpu0 100 0 50 850 0 0 0 0 0 0\ncpu1 10 0 10 80 0 0 0 0 0 0\nbtime 1700000000\n");
        proc.write("proc/meminfo", "MemTotal: 8000 kB\nMemFree: 2000 kB\nMemAvailable: 4000 kB\nAnonPages: 1000 kB\n");
        proc.writeProcess(ProcFixture::process(1, "init"));
        proc.writeProcess(ProcFixture::process(2, "kthreadd"));
    }

    std::unique_ptr<SystemMonitorStore> makeStore()
    {
        auto host = std::make_shared<LinuxHostStatistics>(proc.root());
        auto sysctl = std::make_shared<LinuxSysctl>(proc.root(), proc.dir.path() + "/sys");
        SystemMonitorStore::Samplers samplers{
            std::make_shared<MemoryMonitor>(host, sysctl),
            std::make_shared<CPUMonitor>(host, sysctl, [clock = clock] { return clock->now(); }),
            std::make_shared<ProcessMonitor>(table, [this] { return uptime.load(); }, MachTime::Timebase{1, 1}),
            [this] {
                ++intervalReads;
                return interval.load();
            },
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
        ASSERT_TRUE(waitUntil([&] { return appended > 0; }));
        QObject::disconnect(connection);
    }

    ProcFixture proc;
    std::shared_ptr<GatedTable> table = std::make_shared<GatedTable>(proc.root());
    std::shared_ptr<FakeMonitorClock> clock = std::make_shared<FakeMonitorClock>();
    std::atomic<double> interval{2.0};
    std::atomic<int> intervalReads{0};
    std::atomic<std::uint64_t> uptime{1'000'000'000};
};

} // namespace

TEST_F(SystemMonitorStoreTest, SubscriptionsStartAndStopTheLoop)
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
    EXPECT_TRUE(waitUntil([&] { return clock->sleeping() == 0; })) << "the stopped loop wakes and ends";

    ASSERT_TRUE(waitUntil([&] { return store->memoryHistory().size() == 1; }));
    EXPECT_TRUE(store->memory()) << "the last values stay readable";

    // A single pass runs on the worker once the loop has ended: by its answer, a loop
    // still going would have slept again in the hour that passed.
    const auto sleeps = clock->requested().size();
    clock->advance(1h);
    store->tick();
    ASSERT_TRUE(waitUntil([&] { return store->memoryHistory().size() == 2; }));
    EXPECT_EQ(clock->requested().size(), sleeps) << "no pass of the loop after the last unsubscription";
}

TEST_F(SystemMonitorStoreTest, CPUNeedsASecondPassAndProcessesNeedAProcessSubscriber)
{
    auto store = makeStore();
    int processesChanged = 0;
    int sampleTimeChanged = 0;
    QObject::connect(store.get(), &SystemMonitorStore::processesChanged, [&] { ++processesChanged; });
    QObject::connect(store.get(), &SystemMonitorStore::lastProcessSampleChanged, [&] { ++sampleTimeChanged; });

    store->subscribe(false);
    ASSERT_TRUE(clock->waitForSleeps(1));
    ASSERT_TRUE(waitUntil([&] { return store->memory().has_value(); }));
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

// Running Apps says "Reading Processes…" until it finds a sample time; told of the
// first list before its time was stored, it said so until the next pass.
TEST_F(SystemMonitorStoreTest, AScreenToldOfTheFirstProcessesFindsTheirSampleTime)
{
    auto store = makeStore();
    std::vector<bool> timeKnownWhenTold;
    QObject::connect(store.get(), &SystemMonitorStore::processesChanged,
                     [&] { timeKnownWhenTold.push_back(store->lastProcessSample().has_value()); });
    store->subscribe(true);
    ASSERT_TRUE(waitUntil([&] { return !timeKnownWhenTold.empty(); }));
    EXPECT_EQ(timeKnownWhenTold, std::vector<bool>{true});
    store->unsubscribe(true);
}

TEST_F(SystemMonitorStoreTest, IntervalIsReadEveryPassAndNeverBelowASecond)
{
    auto store = makeStore();
    interval = 0.25;
    store->subscribe(false);
    ASSERT_TRUE(clock->waitForSleeps(1));
    EXPECT_EQ(clock->requested().back(), 1s);

    interval = 5;
    ASSERT_TRUE(waitUntil([&] { return store->memory().has_value(); }));
    nextPass(*store);
    EXPECT_EQ(clock->requested().back(), 5s);

    interval = -3;
    nextPass(*store);
    nextPass(*store);
    EXPECT_EQ(clock->requested().back(), 1s) << "below a second: a second";
    store->unsubscribe(false);
}

// A hand-edited settings file may hold any number: none may overflow the clock or spin the loop.
TEST_F(SystemMonitorStoreTest, UnusableIntervalsNeverSpinTheLoop)
{
    const std::pair<double, std::chrono::steady_clock::duration> cases[] = {
        {std::numeric_limits<double>::infinity(), 2s},
        {1e300, 1h},
        {std::numeric_limits<double>::quiet_NaN(), 2s},
        {-std::numeric_limits<double>::infinity(), 2s},
    };
    for (const auto& [setting, sleep] : cases) {
        interval = setting;
        auto store = makeStore();
        const size_t before = clock->requested().size();
        store->subscribe(false);
        // A deadline that overflowed would lie in the past: the loop would pass again
        // and again without ever sleeping.
        ASSERT_TRUE(clock->waitForSleeps(before + 1)) << setting;
        EXPECT_EQ(clock->requested().size(), before + 1) << setting << ": one pass, then a sleep";
        EXPECT_EQ(clock->requested().back(), sleep) << setting;
        store->unsubscribe(false);
    }
}

// The screens ask for a pass right after subscribing; it is the loop's own pass, and
// when that one could tell no CPU share yet the next comes a second later, not a whole
// interval later.
TEST_F(SystemMonitorStoreTest, AScreensPassRequestSharesTheLoopsPass)
{
    auto store = makeStore();
    table->gate.close();
    store->subscribe(true);
    store->tick();
    ASSERT_TRUE(table->gate.waitForArrivals(1));
    table->gate.open();
    ASSERT_TRUE(clock->waitForSleeps(1));
    ASSERT_TRUE(waitUntil([&] { return store->memory().has_value(); }));
    EXPECT_FALSE(store->cpu());
    EXPECT_EQ(clock->requested().back(), 1s) << "the pass that can tell CPU shares is brought forward";

    proc.write("proc/stat", "cpu0 160 10 70 1010 0 0 0 0 0 0\ncpu1 20 0 10 80 0 0 0 0 0 0\nbtime 1700000000\n");
    nextPass(*store);
    ASSERT_TRUE(store->cpu()) << "the brought-forward pass's shares are kept";
    EXPECT_NEAR(store->cpu()->perCore[0], 0.36, 1e-12);
    EXPECT_EQ(clock->requested().back(), 2s) << "then the interval again";
    EXPECT_EQ(table->gate.arrivals(), 2);

    // Asked again while the loop sleeps: a second after the last pass.
    // Counted before the request: the loop may wake and sleep again before tick() returns.
    const size_t sleeps = clock->requested().size();
    store->tick();
    ASSERT_TRUE(clock->waitForSleeps(sleeps + 1));
    EXPECT_EQ(clock->requested().back(), 1s);
    nextPass(*store);
    EXPECT_EQ(clock->requested().back(), 2s) << "served: that pass told CPU shares";
    EXPECT_EQ(table->gate.arrivals(), 3);
    store->unsubscribe(true);
}

// A new interval chosen in the settings counts from the sleep that follows, also when
// it was chosen while a pass was running, and also for the pass a screen asked for.
TEST_F(SystemMonitorStoreTest, AnIntervalChangedWhileAPassRunsCountsForTheNextSleep)
{
    auto store = makeStore();
    table->gate.close();
    store->subscribe(true);
    store->tick();
    ASSERT_TRUE(table->gate.waitForArrivals(1));
    interval = 7;
    emit UserDefaultsNotifier::instance().changed(SettingsKey::monitorInterval);
    table->gate.open();
    ASSERT_TRUE(clock->waitForSleeps(1));
    EXPECT_EQ(clock->requested().back(), 1s) << "the screen's pass still comes a second later";

    table->gate.close();
    uptime += 1'000'000'000;
    clock->advance(1s);
    ASSERT_TRUE(table->gate.waitForArrivals(2));
    interval = 4;
    emit UserDefaultsNotifier::instance().changed(SettingsKey::monitorInterval);
    table->gate.open();
    ASSERT_TRUE(clock->waitForSleeps(2));
    EXPECT_EQ(clock->requested().back(), 4s) << "the interval chosen during the pass, not the one before it";

    // Chosen while the loop sleeps: the sleep is worked out again.
    interval = 9;
    emit UserDefaultsNotifier::instance().changed(SettingsKey::monitorInterval);
    ASSERT_TRUE(clock->waitForSleeps(3));
    EXPECT_EQ(clock->requested().back(), 9s);
    // The store reads the interval whenever it wakes the loop for a new one.
    const int reads = intervalReads;
    emit UserDefaultsNotifier::instance().changed(SettingsKey::scanConcurrency);
    EXPECT_EQ(intervalReads, reads) << "another setting leaves the sleep alone";
    EXPECT_EQ(clock->requested().size(), 3u);
    store->unsubscribe(true);
}

TEST_F(SystemMonitorStoreTest, HistoriesKeepTheLast150Samples)
{
    auto store = makeStore();
    store->subscribe(false);
    ASSERT_TRUE(clock->waitForSleeps(1));
    ASSERT_TRUE(waitUntil([&] { return store->memoryHistory().size() == 1; }));
    nextPass(*store);
    const MemorySnapshot second = store->memoryHistory()[1];
    for (int pass = 3; pass <= 151; ++pass) nextPass(*store);

    EXPECT_EQ(store->memoryHistory().size(), 150u);
    EXPECT_EQ(store->memoryHistory().front(), second);
    EXPECT_EQ(store->cpuHistory().size(), 150u) << "the first pass gave no CPU sample";
    EXPECT_EQ(store->memoryHistory().back(), *store->memory());
    store->unsubscribe(false);
}

TEST_F(SystemMonitorStoreTest, ATickSamplesOnceWithoutTheLoop)
{
    auto store = makeStore();
    store->tick();
    ASSERT_TRUE(waitUntil([&] { return store->memory().has_value(); }));
    EXPECT_FALSE(store->isSampling());
    EXPECT_TRUE(clock->requested().empty());
}

TEST_F(SystemMonitorStoreTest, NoThreadOutlivesTheStore)
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

// A pass held in the process table (a /proc that does not answer) cannot hold up
// the store's release, and its late answer reaches nobody.
TEST_F(SystemMonitorStoreTest, APassThatDoesNotEndIsLeftBehind)
{
    const int before = BackgroundWorker::leftBehind();
    auto store = makeStore();
    table->gate.close();
    store->subscribe(true);
    ASSERT_TRUE(table->gate.waitForArrivals(1));
    const auto begun = std::chrono::steady_clock::now();
    store.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begun, BackgroundWorker::quitBound + 2s);
    EXPECT_EQ(BackgroundWorker::leftBehind(), before + 1);
    // Let go, the pass posts its answer before its work, and so the table, is dropped.
    table->gate.open();
    ASSERT_TRUE(waitUntil([&] { return table.use_count() == 1; }));
    QCoreApplication::processEvents();
}

TEST(SystemMonitorStore, EffectiveInterval)
{
    const double infinity = std::numeric_limits<double>::infinity();
    const std::pair<double, double> cases[] = {
        {0.25, 1.0}, {1, 1.0}, {2, 2.0}, {5, 5.0}, {3600, 3600.0}, {7200, 3600.0}, {1e300, 3600.0},
        // Never faster than once a second, whatever is stored.
        {0, 1.0}, {-1, 1.0},
        // Not a number of seconds at all: the default.
        {infinity, 2.0}, {-infinity, 2.0}, {std::numeric_limits<double>::quiet_NaN(), 2.0},
        {std::numeric_limits<double>::denorm_min(), 1.0},
    };
    for (const auto& [setting, seconds] : cases)
        EXPECT_EQ(SystemMonitorStore::effectiveInterval(setting), seconds) << setting;
}
