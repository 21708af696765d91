#include "app/system/ScanTask.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace {

int niceOfThisThread()
{
    errno = 0;
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
}

} // namespace

// The scan and the readers it starts run nicer than the thread that asked for it, so
// the window's thread is not held off the processor; the asking thread keeps its own.
TEST(ScanTask, RunsItsScanNicerThanItsStarter)
{
    const int starter = niceOfThisThread();
    if (starter + ScanTask::niceness > 19)
        GTEST_SKIP() << "already running as nice as a thread can be";
    std::atomic<int> scan{-100};
    std::atomic<int> reader{-100};
    {
        ScanTask task([&](std::stop_token) {
            scan = niceOfThisThread();
            std::thread([&] { reader = niceOfThisThread(); }).join();
        });
    }
    EXPECT_EQ(scan.load(), starter + ScanTask::niceness);
    EXPECT_EQ(reader.load(), starter + ScanTask::niceness);
    EXPECT_EQ(niceOfThisThread(), starter);
}
