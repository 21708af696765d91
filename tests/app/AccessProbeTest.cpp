#include "app/AccessProbe.h"

#include "app/BackgroundWorker.h"
#include "app/support/AppTestSupport.h"
#include "support/HeldGate.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A file system whose "/hung" place does not answer while the gate is closed.
class AccessProbeTest : public ::testing::Test {
protected:
    AccessProbeTest() { ensureCoreApplication(); }

    AccessProbe::Probe mount() const
    {
        return [pass = hung.passage()](const std::string& path) {
            if (path == "/hung")
                pass();
            return path == "/missing" ? AccessStatus::notFound : AccessStatus::granted;
        };
    }

    // How long the probe waits for a place: long enough that the places that answer do so
    // within it on a loaded machine too; one held at the gate waits it out.
    static constexpr std::chrono::milliseconds limit = 1s;

    HeldGate hung;
};

} // namespace

TEST_F(AccessProbeTest, AHungPlaceIsDeniedAfterTheLimitAndTheCheckGoesOn)
{
    const int leftBefore = BackgroundWorker::leftBehind();
    AccessProbe probe(limit, mount(), [](const std::string&) { return std::optional<bool>(true); });
    std::optional<AccessProbe::Result> result;
    ASSERT_TRUE(probe.start({"/a", "/hung", "/missing"}, "/home/ann",
                            [&](AccessProbe::Result answer) { result = std::move(answer); }));
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, (AccessProbe::Result{{{"/a", AccessStatus::granted},
                                             {"/hung", AccessStatus::denied},
                                             {"/missing", AccessStatus::notFound}},
                                            true}));
    EXPECT_EQ(BackgroundWorker::leftBehind(), leftBefore + 1) << "the hung place's worker";
    EXPECT_FALSE(probe.isRunning());
}

TEST_F(AccessProbeTest, OneCheckAtATimeAndAHungHomeHasNoFullDiskAccess)
{
    AccessProbe probe(limit, [](const std::string&) { return AccessStatus::granted; },
                      [probe = mount()](const std::string& home) {
                          return std::optional<bool>(probe(home) == AccessStatus::granted);
                      });
    std::optional<AccessProbe::Result> result;
    ASSERT_TRUE(probe.start({"/a"}, "/hung", [&](AccessProbe::Result answer) { result = std::move(answer); }));
    EXPECT_TRUE(probe.isRunning());
    EXPECT_FALSE(probe.start({"/a"}, "/home/ann", {})) << "a second check while one runs";
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->fullDiskAccess, false);
    EXPECT_EQ(result->statuses.at("/a"), AccessStatus::granted);
    EXPECT_FALSE(probe.isRunning());

    // The next check runs on the worker that replaced the hung one.
    result.reset();
    ASSERT_TRUE(probe.start({"/b"}, "/home/ann", [&](AccessProbe::Result answer) { result = std::move(answer); }));
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->fullDiskAccess, true);
}

TEST_F(AccessProbeTest, AProbeGoneDuringACheckTellsNobody)
{
    bool told = false;
    {
        AccessProbe probe(30s, mount(), [](const std::string&) { return std::optional<bool>(true); });
        ASSERT_TRUE(probe.start({"/hung"}, "/home/ann", [&](AccessProbe::Result) { told = true; }));
        ASSERT_TRUE(hung.waitForArrivals(1));
    }
    hung.open();
    // The held place answers once let go; by the time its work is dropped the answer
    // has been posted, and the event loop has run it.
    ASSERT_TRUE(waitUntil([&] { return hung.unheld(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(told);
}
