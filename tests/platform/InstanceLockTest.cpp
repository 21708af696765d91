#include "platform/InstanceLock.h"
#include "support/FakeProcessWindows.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
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

TEST(InstanceLock, WhatIsNoFileOfItsOwnRefusesTheStartNamingIt)
{
    const struct {
        const char* name;
        void (*make)(const TempDir&, const std::string& lock);
    } cases[] = {
        {"a folder", [](const TempDir&, const std::string& lock) { ::mkdir(lock.c_str(), 0700); }},
        {"a link to a file", [](const TempDir& d, const std::string& lock) {
             ::symlink(d.write("elsewhere", "").c_str(), lock.c_str());
         }},
        {"a dangling link", [](const TempDir& d, const std::string& lock) {
             ::symlink(d.file("missing").c_str(), lock.c_str());
         }},
        {"a FIFO", [](const TempDir&, const std::string& lock) { ::mkfifo(lock.c_str(), 0600); }},
        {"no folder to hold it", [](const TempDir&, const std::string&) {}},
    };
    for (const auto& c : cases) {
        TempDir folder;
        const std::string path =
            std::string(c.name) == "no folder to hold it" ? folder.file("gone/Kestrelmoor.lock") : folder.file("Kestrelmoor.lock");
        c.make(folder, path);
        // Two starts side by side: neither may run unlocked.
        InstanceLock first(path);
        InstanceLock second(path);
        EXPECT_FALSE(first.isFirst()) << c.name;
        EXPECT_NE(first.refusal().value_or("").find(path), std::string::npos) << c.name;
        EXPECT_FALSE(second.isFirst()) << c.name;
    }
}

TEST(InstanceLock, ReleasingLetsTheNextStartInWhileTheProcessLives)
{
    TempDir folder;
    const std::string path = folder.file("Kestrelmoor.lock");
    InstanceLock first(path);
    ASSERT_TRUE(first.isFirst());
    first.release();
    InstanceLock next(path);
    EXPECT_TRUE(next.isFirst());
    EXPECT_FALSE(next.refusal());
}

} // namespace
