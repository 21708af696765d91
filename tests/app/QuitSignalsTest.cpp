#include "app/QuitSignals.h"

#include "app/support/AppTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <optional>

namespace {

TEST(QuitSignals, EachEndingSignalBecomesOneCallOnTheEventLoopAndTheProcessLives)
{
    ensureCoreApplication();
    for (const int number : QuitSignals::caught) {
        std::optional<int> received;
        int calls = 0;
        {
            QuitSignals quitSignals([&](int caught) {
                received = caught;
                ++calls;
            });
            ASSERT_EQ(::raise(number), 0);
            EXPECT_TRUE(waitUntil([&] { return received.has_value(); })) << number;
        }
        EXPECT_EQ(received, number);
        EXPECT_EQ(calls, 1);
    }
    // Let go, the signals have their usual meaning again.
    struct sigaction current {};
    ::sigaction(SIGTERM, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

TEST(QuitSignalsDeathTest, ASecondSignalEndsTheProgramWhileTheEventLoopIsHeld)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The main thread never returns to its loop, as when it blocks on a read.
    EXPECT_EXIT(
        {
            ensureCoreApplication();
            const QuitSignals quitSignals([](int) {});
            ::raise(SIGTERM);
            ::raise(SIGTERM);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

} // namespace
