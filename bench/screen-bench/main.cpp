// Times the screens over a large index, headless, in the real main window.
//
// For each screen: while a first scan of the tree runs with the screen shown, the
// longest gap between two ticks of a 1 ms timer on the main thread (how long the
// event loop was held up at a time); then, over the finished index, the time from a
// raise of the data version to the screen's data being on screen (its loads done and
// the result painted), the median of several runs.
//
//   screen-bench [--tree DIR] [--files N] [--workers N] [--runs N] [--search TEXT] [--screen NAME]...
//                [--slow-events]
//
// Without --tree a tree of --files files (default 1,000,000) is generated in /var/tmp
// and removed afterwards; a --tree that does not exist yet is generated and kept.
// Targets: every screen's data within 100 ms of the version change (after the waits
// the screens make on purpose before they query), and no gap over 16 ms during a scan.
#include "BenchArguments.h"
#include "BenchTree.h"
#include "ScratchHome.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/LatestLoad.h"
#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "app/system/SidebarItem.h"
#include "index/StorageDatabase.h"
#include "platform/DescriptorLimit.h"
#include "ui/screens/frame/ContentView.h"
#include "ui/screens/frame/KestrelmoorApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <future>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string tree;
    std::int64_t files = 1'000'000;
    int workers = 8;
    int runs = 5;
    std::string search = "naïve";
    std::vector<SidebarItem> screens;
    bool slowEvents = false;   // name every event that held the main thread over 12 ms
};

constexpr const char* usageLine =
    "[--tree DIR] [--files N] [--workers N] [--runs N] [--search TEXT] [--screen NAME]... [--slow-events]";

Options parse(BenchArguments& args)
{
    Options options;
    while (const auto arg = args.next()) {
        if (arg == "--tree")
            options.tree = args.value();
        else if (arg == "--files")
            options.files = std::stoll(args.value());
        else if (arg == "--workers")
            options.workers = std::stoi(args.value());
        else if (arg == "--runs")
            options.runs = std::max(1, std::stoi(args.value()));
        else if (arg == "--slow-events")
            options.slowEvents = true;
        else if (arg == "--search")
            options.search = args.value();
        else if (arg == "--screen") {
            const std::string name = args.value();
            const auto item = sidebarItemFromRawValue(name);
            if (!item)
                args.fail("unknown screen " + name);
            options.screens.push_back(*item);
        } else
            args.fail("unknown argument " + *arg);
    }
    if (options.screens.empty())
        options.screens = {SidebarItem::dashboard,      SidebarItem::storage, SidebarItem::largestFiles,
                           SidebarItem::largestFolders, SidebarItem::search,  SidebarItem::developer,
                           SidebarItem::cleanup};
    return options;
}

double milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double threadCPUMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Voluntary (waits) and involuntary (preemptions) context switches of the calling thread.
std::pair<long, long> contextSwitches()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return {usage.ru_nvcsw, usage.ru_nivcsw};
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The deliberate pause a screen makes between a change of its key and its query.
double plannedWait(SidebarItem screen)
{
    switch (screen) {
    case SidebarItem::largestFiles:
        return 150;
    case SidebarItem::search:
        return 250;
    default:
        return 0;
    }
}

// Runs the event loop until `done()` holds, checking after every event batch; false
// after `limit` without it.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(120))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// Follows the background loads of one screen: done once a load started after
// arm() and none is running any more.
class LoadWatch {
public:
    explicit LoadWatch(QWidget* screen) : screen_(screen) {}

    void arm()
    {
        started_ = false;
        loads_ = screen_ ? screen_->findChildren<LatestLoad*>() : QList<LatestLoad*>();
        for (LatestLoad* load : loads_)
            QObject::connect(load, &LatestLoad::busyChanged, &context_, [this](bool busy) {
                if (busy)
                    started_ = true;
            });
    }
    bool done() const
    {
        if (!started_)
            return false;
        return std::none_of(loads_.begin(), loads_.end(), [](const LatestLoad* load) { return load->isBusy(); });
    }

private:
    QPointer<QWidget> screen_;
    QList<LatestLoad*> loads_;
    QObject context_;
    bool started_ = false;
};

// The longest wait between ticks of a 1 ms timer, while it runs.
class GapMeter {
public:
    GapMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            const auto now = std::chrono::steady_clock::now();
            const double cpu = threadCPUMilliseconds();
            const auto switches = contextSwitches();
            const double gap = milliseconds(now - last_);
            if (gap > longest_) {
                longest_ = gap;
                longestCPU_ = cpu - lastCPU_;
                longestWaits_ = switches.first - lastSwitches_.first;
                longestPreemptions_ = switches.second - lastSwitches_.second;
            }
            lastCPU_ = cpu;
            lastSwitches_ = switches;
            if (gap > 16)
                ++over_;
            last_ = now;
            ++ticks_;
        });
    }
    void start()
    {
        longest_ = 0;
        longestCPU_ = 0;
        over_ = 0;
        ticks_ = 0;
        last_ = std::chrono::steady_clock::now();
        lastCPU_ = threadCPUMilliseconds();
        lastSwitches_ = contextSwitches();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double longest() const { return longest_; }
    // What the main thread itself ran during the longest gap.
    double longestCPU() const { return longestCPU_; }
    // How often the main thread waited, and was preempted, during the longest gap.
    long longestWaits() const { return longestWaits_; }
    long longestPreemptions() const { return longestPreemptions_; }
    int over() const { return over_; }
    long ticks() const { return ticks_; }

private:
    QTimer timer_;
    std::chrono::steady_clock::time_point last_;
    double longest_ = 0;
    double longestCPU_ = 0;
    double lastCPU_ = 0;
    long longestWaits_ = 0;
    long longestPreemptions_ = 0;
    std::pair<long, long> lastSwitches_;
    int over_ = 0;
    long ticks_ = 0;
};

bool loadsIdle(QWidget* screen)
{
    if (!screen)
        return true;
    const auto loads = screen->findChildren<LatestLoad*>();
    return std::none_of(loads.begin(), loads.end(), [](const LatestLoad* load) { return load->isBusy(); });
}

// Times every event the main thread hands out, to name what held the loop up longest.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    struct Longest {
        double milliseconds = 0;
        double cpuMilliseconds = 0;   // of the main thread; the rest it waited or was not run
        std::string what;
    };

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (depth_++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --depth_;
            return handled;
        }
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCPUMilliseconds();
        const int type = event->type();
        const std::string name = receiver->metaObject()->className();
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        const double spent = milliseconds(std::chrono::steady_clock::now() - start);
        if (reportSlowEvents && spent > 12)
            std::fprintf(stderr, "  slow event at %.0f ms: %.1f ms, %s %s event %d\n",
                         milliseconds(start - mark), spent, name.c_str(),
                         receiver->objectName().toStdString().c_str(), type);
        if (spent > longest_.milliseconds)
            longest_ = {spent, threadCPUMilliseconds() - cpuStart, name + " event " + std::to_string(type)};
        return handled;
    }

    Longest takeLongest()
    {
        mark = std::chrono::steady_clock::now();
        return std::exchange(longest_, Longest());
    }
    std::chrono::steady_clock::time_point mark;
    bool reportSlowEvents = false;

private:
    int depth_ = 0;
    Longest longest_;
};

struct Row {
    SidebarItem screen = SidebarItem::dashboard;
    double scanSeconds = 0;
    double longestGap = 0;
    double longestGapCPU = 0;
    int gapsOver = 0;
    double summaryReload = 0;   // from the data change to the raised version
    double shown = 0;           // from the raised version to the data on screen
    bool timedOut = false;
    TimedApplication::Longest longestEvent;   // during the scan
};

std::string fixed(double value, int digits = 1)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    BenchArguments args(argc, argv, "screen-bench", usageLine);
    const Options options = parse(args);
    DescriptorLimit::raiseToHardLimit();

    QTemporaryDir home;
    if (!home.isValid())
        args.fail("no temporary folder");
    const std::string root = home.path().toStdString();
    BenchSupport::useScratchHome(root);

    std::string scratch;
    std::string tree = options.tree;
    if (tree.empty()) {
        char pattern[] = "/var/tmp/screen-bench-XXXXXX";
        if (!::mkdtemp(pattern))
            args.fail("cannot make a scratch folder");
        scratch = pattern;
        tree = scratch + "/tree";
    }
    tree = fs::absolute(tree).lexically_normal().string();
    while (tree.size() > 1 && tree.back() == '/')
        tree.pop_back();
    if (!fs::exists(tree)) {
        const auto start = std::chrono::steady_clock::now();
        BenchTree::generate(tree, options.files);
        std::printf("tree of %lld files generated in %s in %.1f s\n", static_cast<long long>(options.files),
                    tree.c_str(), milliseconds(std::chrono::steady_clock::now() - start) / 1000);
    }

    TimedApplication application(argc, argv);
    application.reportSlowEvents = options.slowEvents;
    SettingsKey::registerDefaults();
    UserDefaults::standard().setValue(SettingsKey::hasSeenWelcome, true);
    UserDefaults::standard().setValue(SettingsKey::scanConcurrency, options.workers);

    auto database = std::make_shared<StorageDatabase>(root + "/ScanCache.sqlite");
    auto owned = std::make_unique<AppModel>(database, new ApplicationsStore());
    AppModel& model = *owned;
    ScanCoordinator& scan = model.scan();
    scan.setRootsProvider([tree] { return std::vector<std::string>{tree}; });
    // Connected before any screen exists, so it runs before every screen's own reaction.
    std::chrono::steady_clock::time_point versionRaised;
    QObject::connect(&scan, &ScanCoordinator::dataVersionChanged, &scan,
                     [&] { versionRaised = std::chrono::steady_clock::now(); });

    KestrelmoorApp app(std::move(owned));
    app.show();
    if (!runUntil([&] { return scan.isLoaded(); }))
        args.fail("the start-up load did not end");

    std::vector<Row> rows;
    GapMeter gaps;
    for (const SidebarItem screen : options.screens) {
        Row row;
        row.screen = screen;
        if (screen == SidebarItem::search)
            model.setSearchText(options.search);
        model.setSelection(screen);
        QCoreApplication::processEvents();

        // A first scan, with the screen shown.
        bool cleared = false;
        if (!scan.clearCache([&](std::optional<std::string>) { cleared = true; }) || !runUntil([&] { return cleared; }))
            args.fail("the cache could not be cleared");
        runUntil([&] { return loadsIdle(app.mainWindow().currentScreen()); });
        const int versionBefore = scan.dataVersion();
        const auto scanStart = std::chrono::steady_clock::now();
        gaps.start();
        application.takeLongest();
        scan.startScan(false);
        const bool ended = runUntil([&] { return !scan.isScanActive() && scan.dataVersion() > versionBefore; },
                                    std::chrono::minutes(10));
        gaps.stop();
        row.longestEvent = application.takeLongest();
        if (!ended)
            args.fail("the scan did not end");
        row.scanSeconds = milliseconds(std::chrono::steady_clock::now() - scanStart) / 1000;
        row.longestGap = gaps.longest();
        row.longestGapCPU = gaps.longestCPU();
        row.gapsOver = gaps.over();
        std::fprintf(stderr,
                     "%s: scan %.1f s, %ld ticks, longest gap %.1f ms (main thread ran %.1f ms of it, waited "
                     "%ld times, preempted %ld times), longest event %.1f ms (ran %.1f ms; %s)\n",
                     std::string(title(screen)).c_str(), row.scanSeconds, gaps.ticks(), row.longestGap,
                     row.longestGapCPU, gaps.longestWaits(), gaps.longestPreemptions(), row.longestEvent.milliseconds, row.longestEvent.cpuMilliseconds,
                     row.longestEvent.what.c_str());
        // The data times are those over the whole index: the indexes built behind the scan's
        // end must be ready first. The event loop runs meanwhile.
        auto indexed = std::async(std::launch::async, [database] { database->waitForIndexes(); });
        if (!runUntil([&] { return indexed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                      std::chrono::minutes(10)))
            args.fail("the indexes were not built");
        // Let the reload the scan's end caused settle.
        QElapsedTimer settle;
        settle.start();
        runUntil([&] { return settle.elapsed() > 300 && loadsIdle(app.mainWindow().currentScreen()); });

        // The data version raised over the finished index.
        std::vector<double> reloads, shown;
        for (int run = 0; run < options.runs; ++run) {
            QWidget* current = app.mainWindow().currentScreen();
            LoadWatch watch(current);
            watch.arm();
            const int before = scan.dataVersion();
            const auto start = std::chrono::steady_clock::now();
            application.takeLongest();
            scan.dataChanged();
            const bool dashboard = screen == SidebarItem::dashboard;
            const bool loaded = runUntil([&] {
                return scan.dataVersion() > before && (dashboard || watch.done());
            }, std::chrono::seconds(30));
            // What the load changed gets painted.
            QCoreApplication::processEvents();
            const auto end = std::chrono::steady_clock::now();
            const auto longest = application.takeLongest();
            const auto* took = current->findChild<QLabel*>(QStringLiteral("duration"));
            std::fprintf(stderr, "%s: shown after %.1f ms, longest event %.1f ms (%s)%s%s\n",
                         std::string(title(screen)).c_str(), milliseconds(end - versionRaised),
                         longest.milliseconds, longest.what.c_str(), took ? ", search " : "",
                         took ? took->text().toStdString().c_str() : "");
            if (!loaded) {
                row.timedOut = true;
                break;
            }
            reloads.push_back(milliseconds(versionRaised - start));
            // The dashboard follows the summary, which is read before the version rises.
            shown.push_back(dashboard ? milliseconds(end - start) : milliseconds(end - versionRaised));
        }
        row.summaryReload = median(reloads);
        row.shown = median(shown);
        rows.push_back(row);
    }

    std::printf("\n%lld files, %d workers, median of %d runs; search for \"%s\"\n",
                static_cast<long long>(database->folder(tree) ? database->folder(tree)->fileCount : 0),
                options.workers, options.runs, options.search.c_str());
    std::printf("%-18s %7s %12s %11s %8s %11s %10s %12s\n", "screen", "scan s", "longest gap", "of it ran",
                "gaps>16", "summary ms", "shown ms", "beyond wait");
    bool met = true;
    for (const Row& row : rows) {
        const double beyond = row.shown - plannedWait(row.screen);
        const bool ok = !row.timedOut && beyond < 100 && row.longestGap <= 16;
        met &= ok;
        std::printf("%-18s %7s %12s %11s %8d %11s %10s %12s%s\n", std::string(title(row.screen)).c_str(),
                    fixed(row.scanSeconds).c_str(), fixed(row.longestGap).c_str(), fixed(row.longestGapCPU).c_str(),
                    row.gapsOver, fixed(row.summaryReload).c_str(),
                    row.timedOut ? "timed out" : fixed(row.shown).c_str(), fixed(beyond).c_str(),
                    ok ? "" : "  MISSED");
    }
    std::printf("(longest gap: between ticks of a 1 ms timer during the scan; of it ran: what the main thread itself "
                "ran in that gap, the rest it was waiting or not scheduled.\n shown: from the raised version, for the "
                "dashboard from the data change, to the loads done and painted; beyond wait: less the pause of 150 ms "
                "on Largest Files and 250 ms\n on Search before their query, a coarse timer that may end a few ms "
                "early)\n");

    if (!scratch.empty()) {
        std::error_code error;
        fs::remove_all(scratch, error);
    }
    return met ? 0 : 2;
}
