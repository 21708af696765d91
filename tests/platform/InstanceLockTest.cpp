#include "platform/InstanceLock.h"
#include "support/FakeProcessWindows.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(InstanceLock, TheFirstHoldsItAndALaterOneFindsTheHolderAndRaisesItsWindows)
{
    TempDir folder;
    const std::string path = folder.file("Kestrelmoor.lock");
    {
        InstanceLock first(path);
        EXPECT_TRUE(first.isFirst());
        // A second open of the file conflicts even within one process, as another instance's would.
        InstanceLock second(path);
        EXPECT_FALSE(second.isFirst());
        EXPECT_EQ(second.holder(), ::getpid());

        FakeProcessWindows windows;
        windows.windows[::getpid()] = {41, 42};
        EXPECT_TRUE(second.bringHolderToFront(windows));
        EXPECT_EQ(windows.activated, (std::vector<ProcessWindows::Window>{41, 42}));

        // Where no window can be raised (Wayland), the later start still ends.
        windows.activated.clear();
        windows.refusal = ProcessWindows::waylandText;
        EXPECT_FALSE(second.bringHolderToFront(windows));
        EXPECT_TRUE(windows.activated.empty());
    }
    // Let go with its holder.
    InstanceLock after(path);
    EXPECT_TRUE(after.isFirst());
}

TEST(InstanceLock, AHolderThatDiedLeavesNoStaleLock)
{
    TempDir folder;
    const std::string path = folder.file("Kestrelmoor.lock");
    const pid_t child = ::fork();
    if (child == 0) {
        InstanceLock held(path);
        ::_exit(held.isFirst() ? 0 : 1);   // dies holding it
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream in(path);
    pid_t named = 0;
    in >> named;
    EXPECT_EQ(named, child);
    InstanceLock next(path);
    EXPECT_TRUE(next.isFirst());
}

TEST(InstanceLock, NoPlaceForTheLockStopsNoInstance)
{
    InstanceLock nowhere("/nonexistent-folder/Kestrelmoor.lock");
    EXPECT_TRUE(nowhere.isFirst());
    EXPECT_FALSE(nowhere.holder().has_value());
}

} // namespace
