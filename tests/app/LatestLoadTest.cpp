#include "app/LatestLoad.h"

#include "app/support/AppTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

TEST(LatestLoad, OnlyTheNewestRequestStoresItsAnswer)
{
    ensureCoreApplication();
    QObject owner;
    auto* load = new LatestLoad(&owner);
    std::vector<std::string> stored;
    std::vector<bool> busyChanges;
    QObject::connect(load, &LatestLoad::busyChanged, [&](bool busy) { busyChanges.push_back(busy); });

    // The first request is slow and answers after the second.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> firstSawStop = false;
    std::atomic<bool> firstDone = false;
    load->start(
        [released, &firstSawStop, &firstDone](std::stop_token token) {
            released.wait();
            firstSawStop = token.stop_requested();
            firstDone = true;
            return std::string("old folder");
        },
        [&](std::string answer) { stored.push_back(answer); });
    load->start([] { return std::string("new folder"); }, [&](std::string answer) { stored.push_back(answer); });
    ASSERT_TRUE(waitUntil([&] { return !stored.empty(); }));
    EXPECT_FALSE(load->isBusy());

    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return firstDone.load(); }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(stored, (std::vector<std::string>{"new folder"}));
    EXPECT_TRUE(firstSawStop);
    // Busy from the first start until the newest answer; the overtaken one changes nothing.
    EXPECT_EQ(busyChanges, (std::vector<bool>{true, false}));
}

TEST(LatestLoad, FailuresCancellationAndDestroyedOwners)
{
    ensureCoreApplication();
    {
        QObject owner;
        auto* load = new LatestLoad(&owner);
        std::string failure;
        bool stored = false;
        load->start([]() -> int { throw std::runtime_error("database is locked"); }, [&](int) { stored = true; },
                    [&](const std::string& message) { failure = message; });
        ASSERT_TRUE(waitUntil([&] { return !failure.empty(); }));
        EXPECT_EQ(failure, "database is locked");
        EXPECT_FALSE(stored);
        EXPECT_FALSE(load->isBusy());

        // A cancelled request answers nothing.
        std::atomic<bool> ran = false;
        load->start([&ran] { ran = true; }, [&] { stored = true; });
        load->cancel();
        EXPECT_FALSE(load->isBusy());
        ASSERT_TRUE(waitUntil([&] { return ran.load(); }));
        QCoreApplication::processEvents();
        EXPECT_FALSE(stored);
    }
    // The owner goes away while the work runs: the answer reaches nobody.
    auto reached = std::make_shared<std::atomic<bool>>(false);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto done = std::make_shared<std::atomic<bool>>(false);
    {
        auto owner = std::make_unique<QObject>();
        auto* load = new LatestLoad(owner.get());
        load->start(
            [released, done] {
                released.wait();
                *done = true;
                return 1;
            },
            [reached](int) { *reached = true; });
    }
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return done->load(); }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(*reached);
}

TEST(LatestLoad, ProgressReachesTheMainThreadOnlyForTheRunningNewestRequest)
{
    ensureCoreApplication();
    QObject owner;
    auto* load = new LatestLoad(&owner);
    std::vector<std::string> shown;
    auto show = [&](const char* tag) {
        return load->reporterForNextStart<std::string>([&shown, tag](const std::string& stage) {
            shown.push_back(std::string(tag) + ":" + stage);
        });
    };

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> oldReported = false;
    auto oldReport = show("old");
    load->start(
        [released, oldReport, &oldReported] {
            oldReport("hashing");
            released.wait();
            // Reported after a newer request started: stale.
            oldReport("late");
            oldReported = true;
            return 0;
        },
        [](int) {});
    ASSERT_TRUE(waitUntil([&] { return !shown.empty(); }));

    std::promise<void> finish;
    std::shared_future<void> finished = finish.get_future().share();
    auto newReport = show("new");
    bool stored = false;
    load->start(
        [finished, newReport] {
            newReport("sizes");
            finished.wait();
            return 1;
        },
        [&](int) { stored = true; });
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return oldReported.load() && shown.size() >= 2; }));
    QCoreApplication::processEvents();
    finish.set_value();
    ASSERT_TRUE(waitUntil([&] { return stored; }));
    // A report made after the answer arrived finds the request no longer running.
    newReport("after the end");
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, (std::vector<std::string>{"old:hashing", "new:sizes"}));
}

TEST(LatestLoad, AnOwnerDestroyedJustAsItsAnswerIsPostedIsNeverTouched)
{
    ensureCoreApplication();
    constexpr int rounds = 20000;
    auto answered = std::make_shared<std::atomic<int>>(0);
    for (int round = 0; round < rounds; ++round) {
        auto owner = std::make_unique<QObject>();
        auto* load = new LatestLoad(owner.get());
        auto going = std::make_shared<std::atomic<bool>>(false);
        load->start(
            [going, answered] {
                // Answers the moment the owner starts going away.
                while (!going->load()) std::this_thread::yield();
                ++*answered;
                return 1;
            },
            [](int) {});
        *going = true;
        owner.reset();
    }
    ASSERT_TRUE(waitUntil([&] { return answered->load() == rounds; }));
    QCoreApplication::processEvents();
}

// Loads of their own: none replaces another, each answers or fails once, and each
// goes away with its answer.
TEST(LatestLoad, LoadsOfTheirOwnAllAnswerAndGoAway)
{
    ensureCoreApplication();
    QObject owner;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<std::string> told;
    LatestLoad::once(&owner, [released] {
        released.wait();
        return std::string("slow");
    }, [&](std::string answer) { told.push_back(answer); });
    LatestLoad::once(&owner, [] { return std::string("quick"); }, [&](std::string answer) { told.push_back(answer); });
    LatestLoad::once(&owner, [] {}, [&] { told.push_back("done"); });
    LatestLoad::once(
        &owner, []() -> int { throw std::runtime_error("disk gone"); }, [&](int) { told.push_back("stored"); },
        [&](const std::string& message) { told.push_back("failed: " + message); });
    ASSERT_TRUE(waitUntil([&] { return told.size() == 3; }));
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return told.size() == 4; }));
    std::sort(told.begin(), told.end());
    EXPECT_EQ(told, (std::vector<std::string>{"done", "failed: disk gone", "quick", "slow"}));
    ASSERT_TRUE(waitUntil([&] { return owner.findChildren<LatestLoad*>().isEmpty(); }));
}
