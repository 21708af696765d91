#include "app/system/StorageSandbox.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(StorageSandbox, TellsTheSandboxAndTheCommandThatWidensIt)
{
    TempDir root;
    {
        ScopedEnvironment snap("SNAP_NAME", "");
        EXPECT_EQ(StorageSandbox::detect(root.path()), StorageSandbox{});
    }
    {
        ScopedEnvironment snap("SNAP_NAME", "kestrel");
        const auto sandbox = StorageSandbox::detect(root.path());
        EXPECT_EQ(sandbox.kind, StorageSandbox::Kind::snap);
        EXPECT_EQ(sandbox.widenCommand, "sudo snap connect kestrel:home && sudo snap connect kestrel:removable-media");
    }
    root.write(".flatpak-info", "[Application]\nname=org.example.Kestrel\nruntime=runtime/x\n");
    const auto sandbox = StorageSandbox::detect(root.path());
    EXPECT_EQ(sandbox.kind, StorageSandbox::Kind::flatpak);
    EXPECT_EQ(sandbox.name, "org.example.Kestrel");
    EXPECT_EQ(sandbox.widenCommand, "flatpak override --user --filesystem=host --filesystem=home org.example.Kestrel");
}
