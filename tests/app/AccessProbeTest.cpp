#include "app/AccessProbe.h"
#include "support/Eventually.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// A file system whose "/hung" place never answers until released.
struct HungMount {
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;

    AccessStatus probe(const std::string& path)
    {
        if (path == "/hung") {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] { return open; });
        }
        return path == "/missing" ? AccessStatus::notFound : AccessStatus::granted;
    }
    void release()
    {
        std::lock_guard lock(mutex);
        open = true;
        released.notify_all();
    }
};

} // namespace

TEST(AccessProbe, AHungPlaceIsDeniedAfterTheLimitAndTheCheckGoesOn)
{
    auto mount = std::make_shared<HungMount>();
    AccessProbe probe(50ms, [mount](const std::string& path) { return mount->probe(path); },
                      [](const std::string&) { return std::optional<bool>(true); });
    std::promise<AccessProbe::Result> finished;
    ASSERT_TRUE(probe.start({"/a", "/hung", "/missing"}, "/home/ann",
                            [&](AccessProbe::Result result) { finished.set_value(std::move(result)); }));
    auto result = finished.get_future();
    ASSERT_EQ(result.wait_for(waitLimit), std::future_status::ready);
    EXPECT_EQ(result.get(), (AccessProbe::Result{{{"/a", AccessStatus::granted},
                                                  {"/hung", AccessStatus::denied},
                                                  {"/missing", AccessStatus::notFound}},
                                                 true}));
    mount->release();
}

TEST(AccessProbe, OneCheckAtATime)
{
    auto mount = std::make_shared<HungMount>();
    std::promise<void> done;
    // A hung home folder: the Full Disk Access probe is limited too, and tells "no".
    AccessProbe probe(200ms, [](const std::string&) { return AccessStatus::granted; },
                      [mount](const std::string& home) { return std::optional<bool>(mount->probe(home) == AccessStatus::granted); });
    std::optional<bool> fullDiskAccess;
    ASSERT_TRUE(probe.start({"/a"}, "/hung", [&](AccessProbe::Result result) {
        fullDiskAccess = result.fullDiskAccess;
        done.set_value();
    }));
    EXPECT_TRUE(probe.isRunning());
    EXPECT_FALSE(probe.start({"/a"}, "/home/ann", {})) << "a second check while one runs";
    ASSERT_EQ(done.get_future().wait_for(waitLimit), std::future_status::ready);
    EXPECT_EQ(fullDiskAccess, false);
    mount->release();
    ASSERT_TRUE(eventually([&] { return !probe.isRunning(); }));
    EXPECT_TRUE(probe.start({"/a"}, "/home/ann", {}));
}
