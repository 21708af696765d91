#pragma once

#include "ui/support/UiTestSupport.h"

#include "app/support/AppTestSupport.h"
#include "support/FakeMonitorClock.h"
#include "app/system/CPUMonitor.h"
#include "app/system/MemoryMonitor.h"
#include "app/system/ProcessMonitor.h"
#include "app/SystemMonitorStore.h"
#include "platform/LinuxHostStatistics.h"
#include "platform/LinuxProcessTable.h"
#include "platform/LinuxSysctl.h"
#include "support/ProcFixture.h"

#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <string>

// A store over a /proc written by the test, so each pass reads known figures.
class MonitorFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        proc.write("proc/pressure/memory", "some avg10=0.40 avg60=0.20 avg300=0.10 total=1000\nfull avg10=0.00 avg60=0.00 avg300=0.00 total=10\n");
        proc.write("proc/loadavg", "1.42 1.18 0.97 2/311 4242\n");
        proc.write("proc/cpuinfo", "processor\t: 0\nmodel name\t: Test Processor 3000\n");
        writeMemory(16'000'000, 4'000'000, 6'000'000, 0);
        for (int pid = 1; pid <= 14; ++pid) {
            auto process = ProcFixture::process(pid, "worker" + std::to_string(pid));
            process.anonKilobytes = 1000 * static_cast<std::uint64_t>(pid);
            process.executable = "/usr/bin/worker" + std::to_string(pid);
            proc.writeProcess(process);
        }
        auto host = std::make_shared<LinuxHostStatistics>(proc.root());
        auto sysctl = std::make_shared<LinuxSysctl>(proc.root(), proc.dir.path() + "/sys");
        auto table = std::make_shared<LinuxProcessTable>(proc.root());
        SystemMonitorStore::Samplers samplers{
            std::make_shared<MemoryMonitor>(host, sysctl),
            std::make_shared<CPUMonitor>(host, sysctl, [this] { return std::chrono::steady_clock::time_point{} + std::chrono::seconds(++cpuCalls * 10); }),
            std::make_shared<ProcessMonitor>(table, [this] { return (++uptimeCalls) * 10'000'000'000ull; }, MachTime::Timebase{10'000'000, 1}),
            [] { return 2.0; },
            clock,
        };
        store = std::make_unique<SystemMonitorStore>(samplers);
    }

    void writeMemory(std::uint64_t totalKb, std::uint64_t anonKb, std::uint64_t cachedKb, std::uint64_t zswapKb)
    {
        proc.write("proc/meminfo", "MemTotal: " + std::to_string(totalKb) + " kB\nMemFree: 3000000 kB\nMemAvailable: "
                                       + std::to_string(totalKb * 37 / 100) + " kB\nAnonPages: " + std::to_string(anonKb)
                                       + " kB\nCached: " + std::to_string(cachedKb)
                                       + " kB\nSUnreclaim: 400000 kB\nKernelStack: 30000 kB\nPageTables: 70000 kB\nZswap: "
                                       + std::to_string(zswapKb) + " kB\nSwapTotal: 2000000 kB\nSwapFree: 1500000 kB\n");
    }

    // Cumulative ticks for two cores; each pass the test raises them by a known share.
    void writeTicks(std::uint64_t user, std::uint64_t system, std::uint64_t idle)
    {
        const auto line = [&](const char* name, std::uint64_t scale) {
            return std::string(name) + " " + std::to_string(user * scale) + " 0 " + std::to_string(system * scale) + " "
                   + std::to_string(idle * scale) + " 0 0 0 0 0 0\n";
        };
        proc.write("proc/stat", line("cpu", 2) + line("cpu0", 1) + line("cpu1", 1) + "btime 1700000000\n");
    }

    // One sampling pass, with its results delivered. While a screen is shown the loop
    // runs, and the pass asked for comes a second after its last one.
    void pass()
    {
        // A pass of the loop still under way (the one a subscription starts) lands first.
        if (store->isSampling()) {
            ASSERT_TRUE(waitUntil([&] { return clock->sleeping() > 0; }));
        }
        QCoreApplication::processEvents();
        const std::size_t before = store->memoryHistory().size();
        store->tick();
        clock->advance(std::chrono::seconds(1));
        ASSERT_TRUE(waitUntil([&] { return store->memoryHistory().size() > before; }));
        // Let the screen's coalesced redraw run.
        letEventsRun(std::chrono::milliseconds(20));
    }

    // Pictures of the screen from its top, at the smallest window and a large one.
    static void saveAtBothSizes(QWidget& view, const QString& name)
    {
        auto* scroll = view.findChild<QScrollArea*>();
        scroll->verticalScrollBar()->setValue(0);
        view.resize(720, 480);
        letEventsRun(std::chrono::milliseconds(50));
        saveScreenshot(view, name + QStringLiteral("-720x480"));
        view.resize(1440, 900);
        letEventsRun(std::chrono::milliseconds(50));
        saveScreenshot(view, name + QStringLiteral("-1440x900"));
    }

    // Several passes with the processor busier each time.
    void samples(int count)
    {
        std::uint64_t user = 100, system = 50, idle = 850;
        writeTicks(user, system, idle);
        for (int i = 0; i < count; ++i) {
            user += 20 + 5 * static_cast<std::uint64_t>(i % 7);
            system += 10 + 3 * static_cast<std::uint64_t>(i % 4);
            idle += 60;
            writeTicks(user, system, idle);
            for (int pid = 1; pid <= 14; ++pid) {
                auto process = ProcFixture::process(pid, "worker" + std::to_string(pid));
                process.anonKilobytes = 1000 * static_cast<std::uint64_t>(pid);
                process.executable = "/usr/bin/worker" + std::to_string(pid);
                process.userTicks = static_cast<std::uint64_t>((i + 1) * pid * 40);
                proc.writeProcess(process);
            }
            writeMemory(16'000'000, 4'000'000 + 150'000 * static_cast<std::uint64_t>(i), 6'000'000,
                        200'000 + 20'000 * static_cast<std::uint64_t>(i));
            pass();
        }
    }

    ProcFixture proc;
    std::shared_ptr<FakeMonitorClock> clock = std::make_shared<FakeMonitorClock>();
    std::atomic<long> cpuCalls{0};
    std::atomic<unsigned long long> uptimeCalls{0};
    std::unique_ptr<SystemMonitorStore> store;
};
