#pragma once

#include "app/ApplicationsStore.h"
#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/support/SettingsFolder.h"

#include "support/Eventually.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>

#include <chrono>
#include <functional>

// One Qt application object for the whole test program, made on first use.
inline void ensureCoreApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "kestrel_app_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

// The standard settings in a file of the test's own, with the program's defaults.
inline void useOwnSettings(const SettingsFolder& settings)
{
    ensureCoreApplication();
    settings.useForStandard();
    SettingsKey::registerDefaults();
}

// Runs the event loop until `done` holds; false once waitLimit has passed.
inline bool waitUntil(const std::function<bool()>& done)
{
    return eventually(done, [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    });
}

// Runs the event loop for a while, for what has no condition to wait on: a picture of a
// screen after its delayed redraws.
inline void letEventsRun(std::chrono::milliseconds time)
{
    const auto end = std::chrono::steady_clock::now() + time;
    waitUntil([&] { return std::chrono::steady_clock::now() >= end; });
}

// Lets every load on the shared pool end and runs what they queued for the main thread,
// so that a test can then check what they did not do.
inline bool finishBackgroundWork()
{
    const bool ended = QThreadPool::globalInstance()->waitForDone(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(waitLimit).count()));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return ended;
}

// An applications store that looks only in `folder` and sizes nothing.
inline ApplicationsStore* emptyApplicationsStore(const std::string& folder)
{
    return new ApplicationsStore({folder}, [](const std::string&, StorageDatabase*, std::stop_token) {
        return FolderSizeResult{};
    });
}

// Sets coordinator state the way a running scan would, for checks of what the
// screens and menus show in each phase.
struct ScanCoordinatorTestAccess {
    static void setProgress(ScanCoordinator& c, ScanProgress progress) { c.setProgress(std::move(progress)); }
    static void setPhase(ScanCoordinator& c, ScanPhase phase)
    {
        ScanProgress progress = c.progress();
        progress.phase = std::move(phase);
        c.setProgress(std::move(progress));
    }
    static void setResumableScanID(ScanCoordinator& c, std::optional<std::int64_t> id) { c.setResumableScanID(id); }
    static void setSummary(ScanCoordinator& c, StorageSummary summary) { c.setSummary(std::move(summary)); }
    // A report from the scanner that is running now; it exists once the scan's roots are built.
    static void report(ScanCoordinator& c, ScanProgress progress)
    {
        waitUntil([&] { return c.scanner_ != nullptr || !c.task_; });
        c.apply(std::move(progress), c.scanner_.get());
    }
    // The outcome of the scan that is running now, as its scanner would return it.
    static void returned(ScanCoordinator& c, ScanOutcome outcome)
    {
        waitUntil([&] { return c.scanner_ != nullptr || !c.task_; });
        c.scanReturned(c.scanner_.get(), std::move(outcome));
    }
    // The scanner of the running scan, to hold it without the coordinator's say.
    static FileScanner* scanner(ScanCoordinator& c) { return c.scanner_.get(); }
};
