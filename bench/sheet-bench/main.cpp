// Times how long the removal confirmation sheet takes to open for 10,000 items, as
// the duplicates screen can send them: from building the sheet to its first picture
// on screen. The items are real files in a temporary home, so that the safety checks
// the sheet runs in the background meet a real file system.
// Usage: sheet-bench [item count]   (default 10000; target: under 100 ms to open)
#include "BenchArguments.h"
#include "ScratchHome.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/system/TrashRequest.h"
#include "index/StorageDatabase.h"
#include "ui/screens/frame/TrashConfirmationSheet.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

double threadCPUMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const auto arguments = BenchArguments(argc, argv, "sheet-bench", "[item count]").plain(1);
    const int count = arguments.empty() ? 10000 : std::max(1, std::atoi(arguments[0].c_str()));
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const std::string root = home.path().toStdString();
    BenchSupport::useScratchHome(root);
    QApplication application(argc, argv);

    QDir().mkpath(home.path() + QStringLiteral("/Pictures/Backup"));
    std::vector<TrashCandidate> candidates;
    candidates.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string path = root + "/Pictures/Backup/IMG_" + std::to_string(i) + ".jpg";
        std::ofstream(path) << "x";
        candidates.push_back({path, "IMG_" + std::to_string(i) + ".jpg", 2'400'000 + i, false,
                              std::string("Duplicate of 1 other copy")});
    }

    auto database = std::make_shared<StorageDatabase>(root + "/ScanCache.sqlite");
    AppModel model(database, new ApplicationsStore());

    std::vector<double> wall, cpu, judged;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = threadCPUMilliseconds();
        auto* sheet = new TrashConfirmationSheet(model, TrashRequest::make(candidates));
        sheet->show();
        // The first picture: layout, then the visible rows painted.
        (void)sheet->grab();
        QCoreApplication::processEvents();
        wall.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        cpu.push_back(threadCPUMilliseconds() - cpuStart);
        while (sheet->isJudging())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        judged.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        delete sheet;
        QCoreApplication::processEvents();
    }
    std::printf("sheet for %d items: opens in %.1f ms (main thread CPU %.1f ms, median of 7); "
                "cautions and icons known after %.1f ms\n",
                count, median(wall), median(cpu), median(judged));
    return median(wall) < 100.0 ? 0 : 2;
}
