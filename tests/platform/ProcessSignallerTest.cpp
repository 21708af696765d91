#include "platform/ProcessSignaller.h"

#include "support/ChildProcess.h"
#include "support/ProcFixture.h"

#include <gtest/gtest.h>

#include <csignal>

TEST(ProcessIdentity, ReadsWhatNamesAProcess)
{
    ProcFixture proc;
    auto upgraded = ProcFixture::process(300, "editor");
    upgraded.startTicks = 4242;
    upgraded.uid = 1000;
    upgraded.executable = "/usr/bin/editor (deleted)";
    proc.writeProcess(upgraded);
    // A kernel thread: PF_KTHREAD in the flags, no executable.
    proc.write("proc/2/stat", "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 0 0 0 20 0 1 0 3 0 0 1\n");
    proc.write("proc/2/status", "Name:\tkthreadd\nUid:\t0\t0\t0\t0\n");

    const auto identity = ProcessIdentity::read(300, proc.root());
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->startTicks, 4242u);
    EXPECT_EQ(identity->uid, 1000u);
    EXPECT_EQ(identity->executable, "/usr/bin/editor");
    EXPECT_FALSE(identity->isKernelThread);
    EXPECT_FALSE(identity->hasEnded);

    const auto kernel = ProcessIdentity::read(2, proc.root());
    ASSERT_TRUE(kernel);
    EXPECT_TRUE(kernel->isKernelThread);
    EXPECT_FALSE(kernel->executable);
    EXPECT_FALSE(ProcessIdentity::read(301, proc.root()));

    EXPECT_EQ(ProcessIdentity::withoutDeletedMarker("/a (deleted)"), "/a");
    EXPECT_EQ(ProcessIdentity::withoutDeletedMarker(" (deleted)"), " (deleted)");
    EXPECT_EQ(ProcessIdentity::withoutDeletedMarker("/a (deleted) b"), "/a (deleted) b");
}

TEST(ProcessSignaller, SignalsOnlyTheProcessNamed)
{
    const struct {
        const char* what;
        bool force;
    } cases[] = {{"quit", false}, {"force quit", true}};
    for (const auto& c : cases) {
        ChildProcess child("/bin/sleep");
        const auto identity = ProcessIdentity::read(child.pid());
        ASSERT_TRUE(identity) << c.what;
        EXPECT_EQ(ProcessSignaller::signal(*identity, c.force), std::nullopt) << c.what;
        EXPECT_EQ(child.endingSignal(), c.force ? SIGKILL : SIGTERM) << c.what;
    }
}

TEST(ProcessSignaller, LeavesAReusedPidAlone)
{
    ChildProcess child("/bin/sleep");
    auto identity = ProcessIdentity::read(child.pid());
    ASSERT_TRUE(identity);

    // The pid now names a process started at another time, by another owner or from another program.
    auto laterStart = *identity;
    laterStart.startTicks += 1;
    auto otherOwner = *identity;
    otherOwner.uid += 1;
    auto otherProgram = *identity;
    otherProgram.executable = "/usr/bin/other";
    for (const auto& named : {laterStart, otherOwner, otherProgram})
        for (const bool force : {false, true})
            EXPECT_EQ(ProcessSignaller::signal(named, force), ProcessSignaller::replacedText);
    EXPECT_TRUE(child.isRunning());
}

TEST(ProcessSignaller, ReportsAProcessThatEnded)
{
    ChildProcess zombie("/bin/sleep");
    const auto identity = ProcessIdentity::read(zombie.pid());
    ASSERT_TRUE(identity);
    zombie.endWithoutReaping();
    EXPECT_EQ(ProcessSignaller::signal(*identity, false), ProcessSignaller::endedText);
    zombie.reap();
    EXPECT_EQ(ProcessSignaller::signal(*identity, true), ProcessSignaller::endedText);
}
