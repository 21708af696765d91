#include "index/ApplicationRecords.h"

#include <gtest/gtest.h>

#include <unordered_set>

using Arch = CPUArchitecture;

TEST(ApplicationRecords, ArchitectureLabels)
{
    struct Case { std::vector<Arch> architectures; const char* label; };
    const Case cases[] = {
        {.architectures = {Arch::x86_64, Arch::arm64}, .label = "Universal"},
        {.architectures = {Arch::arm64, Arch::i386, Arch::x86_64}, .label = "Universal"},
        {.architectures = {Arch::x86_64, Arch::i386}, .label = "x86-64, x86 (32-bit)"},
        {.architectures = {Arch::arm64}, .label = "ARM64"},
        {.architectures = {}, .label = "Unknown"},
        {.architectures = {Arch::i386, Arch::i386}, .label = "x86 (32-bit), x86 (32-bit)"},
        {.architectures = {Arch::powerPC, Arch::unknown}, .label = "PowerPC, Unknown"},
    };
    for (const auto& c : cases) {
        ApplicationInfo app;
        app.architectures = c.architectures;
        EXPECT_EQ(app.architectureLabel(), c.label);
    }
}

TEST(ApplicationRecords, DisplayVersionCombinesVersionAndBuild)
{
    using Text = std::optional<std::string>;
    struct Case { Text version; Text build; const char* shown; };
    const Case cases[] = {
        {.version = "2.1", .build = "2.1", .shown = "2.1"},
        {.version = "2.1", .build = "410", .shown = "2.1 (410)"},
        {.version = std::nullopt, .build = "410", .shown = "410"},
        {.version = "2.1", .build = std::nullopt, .shown = "2.1"},
        {.version = std::nullopt, .build = std::nullopt, .shown = "—"},
        {.version = "", .build = "7", .shown = " (7)"},
    };
    for (const auto& c : cases) {
        ApplicationInfo app;
        app.version = c.version;
        app.build = c.build;
        EXPECT_EQ(app.displayVersion(), c.shown);
    }
}

TEST(ApplicationRecords, SignatureStatusLabelsAndIdentity)
{
    using S = CodeSignatureStatus;
    const std::pair<S, const char*> cases[] = {
        {S::signed_("A"), "Signed — A"},
        {S::valid("A"), "Valid — A"},
        {S::invalid("bad seal"), "Invalid — bad seal"},
        {S::unavailable(""), "Unavailable — "},
        {S::notChecked(), "Not checked"},
        {S::adHoc(), "Ad-hoc signed (no developer identity)"},
        {S::unsigned_(), "Not signed"},
    };
    for (const auto& [status, label] : cases)
        EXPECT_EQ(status.label(), label);

    EXPECT_NE(S::signed_("A"), S::valid("A"));
    EXPECT_NE(S::invalid("x"), S::unavailable("x"));
    EXPECT_NE(S::signed_("A"), S::signed_("B"));
    EXPECT_EQ(S::signed_("A"), S::signed_("A"));
    const std::unordered_set<S> set{S::signed_("A"), S::valid("A"), S::signed_("A"), S::notChecked()};
    EXPECT_EQ(set.size(), 3u);
}

TEST(ApplicationRecords, RawValuesRoundTripExactly)
{
    for (const auto arch : {Arch::arm64, Arch::x86_64, Arch::i386, Arch::powerPC, Arch::unknown})
        EXPECT_EQ(cpuArchitectureFromRawValue(rawValue(arch)), arch);
    EXPECT_EQ(cpuArchitectureFromRawValue("intel"), std::nullopt);
    EXPECT_EQ(cpuArchitectureFromRawValue("x86_64"), std::nullopt);

    using Kind = ApplicationStorageBreakdown::Entry::Kind;
    EXPECT_EQ(rawValue(Kind::savedState), "Saved State");
    EXPECT_EQ(rawValue(Kind::cache), "Caches");
    EXPECT_EQ(storageEntryKindFromRawValue("Application Files"), Kind::bundle);
    EXPECT_EQ(storageEntryKindFromRawValue("Caches "), std::nullopt);
}

TEST(ApplicationRecords, ApplicationsShareIdentityButDifferByEveryField)
{
    ApplicationInfo a;
    a.name = "Foo";
    a.path = "/Applications/Foo.app";
    a.lastUsed = 100.0;
    ApplicationInfo b = a;
    b.lastUsed = 200.0;
    EXPECT_NE(a, b);
    EXPECT_EQ(a.id(), b.id());

    ApplicationInfo c = a;
    c.lastUsed.reset();
    ApplicationInfo d = a;
    d.signature = CodeSignatureStatus::unsigned_();
    ApplicationInfo e = a;
    e.architectures = {Arch::arm64};
    const std::unordered_set<ApplicationInfo> set{a, b, c, d, e, a};
    EXPECT_EQ(set.size(), 5u);
    EXPECT_EQ(std::hash<ApplicationInfo>{}(a), std::hash<ApplicationInfo>{}(ApplicationInfo(a)));

    // A desktop entry names its application alone, though entries of one suite share a folder.
    ApplicationInfo draw = a;
    draw.desktopEntryID = "suite-draw.desktop";
    ApplicationInfo write = a;
    write.desktopEntryID = "suite-write.desktop";
    EXPECT_EQ(a.id(), a.path);
    EXPECT_EQ(draw.id(), "suite-draw.desktop");
    EXPECT_NE(draw.id(), write.id());

    EXPECT_EQ(ApplicationUsage::notRunning, ApplicationUsage{});
    EXPECT_TRUE(ApplicationUsage::notRunning.pids.empty());
}
