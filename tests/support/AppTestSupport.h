#pragma once

#include "app/ApplicationsStore.h"
#include "app/ScanCoordinator.h"

#include <QCoreApplication>
#include <QThread>

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

// Runs the event loop until `done` holds or the time is up; false on time-out.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
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
