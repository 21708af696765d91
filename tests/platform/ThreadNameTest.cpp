#include "platform/ThreadName.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <string>
#include <thread>

TEST(ThreadName, NamesTheCallingThreadAndCutsALongNameToWhatLinuxKeeps)
{
    struct Case {
        std::string given;
        std::string shown;
    };
    const Case cases[] = {
        {"scan-reader", "scan-reader"},
        {"exactly15bytes!", "exactly15bytes!"},
        // The system refuses a longer name whole, which would leave the thread unnamed.
        {"a-name-of-twenty-two-b", "a-name-of-twent"},
    };
    for (const auto& c : cases) {
        std::string shown;
        std::thread([&] {
            ThreadName::set(c.given);
            char name[16] = {};
            ::pthread_getname_np(::pthread_self(), name, sizeof name);
            shown = name;
        }).join();
        EXPECT_EQ(shown, c.shown) << c.given;
    }
}
