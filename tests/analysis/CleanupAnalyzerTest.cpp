#include "analysis/CleanupAnalyzer.h"
#include "support/ScannedTree.h"
#include "support/ScopedEnvironment.h"
#include "support/ReservedFile.h"
#include "support/ScratchBase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>

namespace {

const CleanupRecommendation* findTitled(const std::vector<CleanupRecommendation>& list, const std::string& title)
{
    for (const auto& r : list)
        if (r.title == title) return &r;
    return nullptr;
}

std::vector<std::string> titles(const std::vector<CleanupRecommendation>& list)
{
    std::vector<std::string> result;
    for (const auto& r : list) result.push_back(r.title);
    return result;
}

double daysAgo(double days)
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() - days * 86'400;
}

constexpr const char* restrictedNote = " (Size may be incomplete: some folders are restricted.)";

} // namespace

TEST(CleanupRecommendationRecord, IdentityAndSafetyTexts)
{
    CleanupRecommendation trash{"Trash", "", {"/Users/a/.Trash"}, 5, false, CleanupSafety::safe,
                                CleanupRecommendation::Action::openInFinder(), "trash", {5}};
    EXPECT_EQ(trash.id(), "Trash|/Users/a/.Trash");
    CleanupRecommendation two{"T", "", {"/x", "/y"}, 0, false, CleanupSafety::review,
                              CleanupRecommendation::Action::none(), "", {}};
    EXPECT_EQ(two.id(), "T|/x,/y");
    CleanupRecommendation partial = trash;
    partial.isPartial = true;
    EXPECT_NE(partial, trash);
    EXPECT_EQ(partial.id(), trash.id());

    using Action = CleanupRecommendation::Action;
    EXPECT_NE(Action::command(""), Action::none());
    EXPECT_NE(Action::command(""), Action::moveToTrash());
    EXPECT_EQ(Action::command("yarn cache clean"), Action::command("yarn cache clean"));
    EXPECT_NE(Action::command("yarn cache clean"), Action::command("pnpm store prune"));

    for (CleanupSafety safety : allCleanupSafetyCases) EXPECT_EQ(cleanupSafetyFromRawValue(rawValue(safety)), safety);
    EXPECT_EQ(rawValue(CleanupSafety::review), "Review Before Removing");
    EXPECT_EQ(cleanupSafetyFromRawValue("safe to remove"), std::nullopt);
}

TEST(CleanupAnalyzer, EachKindOfRuleOnADiskWithoutIndex)
{
    // Path safety protects all of /tmp, so this home lies where a child can still be movable.
    TempDir home(unprotectedScratchBase());
    ScopedEnvironment homeVariable("HOME", home.path());
    // The program's own data folder lands inside the logs folder, where path safety must protect it.
    ScopedEnvironment dataVariable("XDG_DATA_HOME", home.file("Library/Logs"));

    reserveFile(home.file("Library/Developer/Xcode/DerivedData/App/big.o"), 12'000'000);
    reserveFile(home.file(".npm/_cacache/index/blob"), 11'000'000);
    reserveFile(home.file("Library/Logs/App/today.log"), 5'000'000);           // allocated just above the threshold
    reserveFile(home.file("Library/Logs/Quiet/today.log"), 4'990'000);         // allocated just below it
    reserveFile(home.file("Library/Logs/.DS_Store"), 6'000'000);
    std::filesystem::create_symlink(home.file("Library/Logs/App"), home.file("Library/Logs/Link"));
    reserveFile(home.file("Library/Logs/Kestrelmoor/cache.bin"), 6'000'000);
    reserveFile(home.file("Library/Developer/Xcode/iOS DeviceSupport/17.0/a"), 6'000'000);  // per child: each below 10 MB
    reserveFile(home.file("Library/Developer/Xcode/iOS DeviceSupport/17.1/a"), 6'000'000);
    home.write(".Trash/old.txt", "x");
    home.makeFolder("Library/Application Support");  // exists, but empty and readable: no finding of its own

    std::vector<std::string> progress;
    CleanupAnalyzer analyzer(home.path(), nullptr, home.file("no system"));
    auto result = analyzer.analyze([&](const std::string& title) { progress.push_back(title); });

    EXPECT_EQ(progress.size(), 24u);
    EXPECT_EQ(progress.front(), "Xcode DerivedData");
    EXPECT_EQ(progress.back(), "Application Data");
    // The data home here is the logs folder, so the applications' data is found there.
    EXPECT_EQ(titles(result), (std::vector<std::string>{"Application Data", "Xcode DerivedData", "npm cache",
                                                        "User logs: Kestrelmoor", "User logs: App", "Trash"}));

    using Action = CleanupRecommendation::Action;
    struct Expected {
        const char* title;
        CleanupSafety safety;
        Action action;
        std::vector<std::string> paths;
    } expected[] = {
        {"Xcode DerivedData", CleanupSafety::safe, Action::moveToTrash(),
         {home.file("Library/Developer/Xcode/DerivedData")}},
        {"npm cache", CleanupSafety::safe, Action::command("npm cache clean --force"), {home.file(".npm/_cacache")}},
        {"User logs: App", CleanupSafety::safe, Action::moveToTrash(), {home.file("Library/Logs/App")}},
        {"User logs: Kestrelmoor", CleanupSafety::doNotRemove, Action::none(), {home.file("Library/Logs/Kestrelmoor")}},
        {"Trash", CleanupSafety::safe, Action::openInFinder(), {home.file(".Trash")}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.title);
        const auto* r = findTitled(result, e.title);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->safety, e.safety);
        EXPECT_EQ(r->action, e.action);
        EXPECT_EQ(r->paths, e.paths);
        EXPECT_FALSE(r->isPartial);
    }
    EXPECT_GE(findTitled(result, "User logs: App")->bytes, 5'000'000);
    EXPECT_EQ(findTitled(result, "User logs: App")->detail,
              "Diagnostic logs. Safe to remove unless you're troubleshooting.");

    // An empty Trash is no finding.
    std::filesystem::remove(home.file(".Trash/old.txt"));
    EXPECT_EQ(findTitled(analyzer.analyze(nullptr), "Trash"), nullptr);
}

TEST(CleanupAnalyzer, IndexedSizesBrowserCachesAndRestrictedPlaces)
{
    TempDir home;
    ScopedEnvironment homeVariable("HOME", home.path());
    ScannedTree index;
    for (const char* name : {"Firefox", "FIREFOX", "Google", "BraveSoftware", "com.apple.Safari"}) {
        home.makeFolder(std::string("Library/Caches/") + name);
        index.record(home.file(std::string("Library/Caches/") + name), 60'000'000);
    }
    home.makeFolder("Library/Caches/Google/Chrome");
    index.record(home.file("Library/Caches/Google/Chrome"), 70'000'000);
    home.makeFolder("Library/Mail");
    index.record(home.file("Library/Mail"), 0, 1'700'000'000, true);
    index.finish();

    CleanupAnalyzer analyzer(home.path(), &index.database, home.file("no system"));
    auto result = analyzer.analyze(nullptr);
    EXPECT_EQ(titles(result), (std::vector<std::string>{"Browser caches", "Application caches: com.apple.Safari",
                                                        "Mail data"}));
    const auto* browsers = findTitled(result, "Browser caches");
    ASSERT_NE(browsers, nullptr);
    EXPECT_EQ(browsers->bytes, 70'000'000 + 60'000'000 + 60'000'000);  // Chrome, Firefox, BraveSoftware
    EXPECT_EQ(browsers->paths.size(), 3u);

    const auto* mail = findTitled(result, "Mail data");
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->bytes, 0);
    EXPECT_TRUE(mail->isPartial);
    EXPECT_EQ(mail->detail, std::string("Managed by Mail. Remove large attachments from within Mail.") + restrictedNote);
    EXPECT_EQ(mail->safety, CleanupSafety::doNotRemove);
}

TEST(CleanupAnalyzer, DownloadsAndOldNodeModulesComeFromTheIndex)
{
    TempDir home;
    ScopedEnvironment homeVariable("HOME", home.path());
    ScannedTree index;
    index.record(home.file("Downloads"), 500'000'000, 1'700'000'000, false, "installer.dmg");
    index.record(home.file("Downloads/More"), 499'999'999, 1'700'000'000, false, "almost.zip");
    index.record(home.file("proj/node_modules"), 500'000'000, daysAgo(100));
    index.record(home.file("edge/node_modules"), 50'000'000, daysAgo(100));
    index.record(home.file("short/node_modules"), 49'999'999, daysAgo(100));
    index.record(home.file("fresh/node_modules"), 80'000'000, daysAgo(10));
    index.record(home.file("undated/node_modules"), 80'000'000, 0);
    index.finish();

    std::vector<std::string> progress;
    std::stop_source source;
    source.request_stop();
    CleanupAnalyzer analyzer(home.path(), &index.database, home.file("no system"));
    auto result = analyzer.analyze([&](const std::string& title) { progress.push_back(title); }, source.get_token());

    EXPECT_TRUE(progress.empty());
    // Equal sizes keep their order: downloads before node_modules folders.
    EXPECT_EQ(titles(result), (std::vector<std::string>{"Large download: installer.dmg", "Old node_modules: proj",
                                                        "Old node_modules: edge"}));
    EXPECT_EQ(result[1].paths, (std::vector<std::string>{home.file("proj/node_modules")}));
    EXPECT_EQ(result[0].paths, (std::vector<std::string>{home.file("Downloads/installer.dmg")}));
    EXPECT_EQ(result[0].safety, CleanupSafety::review);

    // Without an index there are no index findings at all.
    EXPECT_TRUE(CleanupAnalyzer(home.path(), nullptr, home.file("no system")).analyze(nullptr).empty());
}

TEST(CleanupAnalyzer, FreedesktopPlacesBesideTheirMacFolders)
{
    TempDir home(unprotectedScratchBase());
    ScopedEnvironment homeVariable("HOME", home.path());
    ScopedEnvironment dataVariable("XDG_DATA_HOME", home.file(".local/share"));
    reserveFile(home.file(".cache/google-chrome/Default/Cache/data"), 12'000'000);
    reserveFile(home.file(".cache/mozilla/firefox/profile/cache2/entries"), 11'000'000);
    reserveFile(home.file(".cache/chromium/Default/blob"), 1'000'000);
    reserveFile(home.file(".cache/yarn/v6/package.tgz"), 11'000'000);
    reserveFile(home.file(".cache/thumbnails/large/blob"), 60'000'000);
    reserveFile(home.file(".local/share/Trash/files/old.iso"), 3'000'000);
    home.write(".local/share/Trash/info/old.iso.trashinfo", "[Trash Info]");
    reserveFile(home.file(".local/share/app/state.db"), 2'000'000);

    auto result = CleanupAnalyzer(home.path(), nullptr, home.file("no system")).analyze(nullptr);

    struct Expected {
        const char* title;
        std::vector<std::string> relativePaths;
        std::int64_t atLeast;
        CleanupRecommendation::Action action;
    } expected[] = {
        {"Browser caches", {".cache/google-chrome", ".cache/chromium", ".cache/mozilla"}, 24'000'000,
         CleanupRecommendation::Action::moveToTrash()},
        {"Yarn cache", {".cache/yarn"}, 11'000'000, CleanupRecommendation::Action::command("yarn cache clean")},
        {"Application caches: thumbnails", {".cache/thumbnails"}, 60'000'000,
         CleanupRecommendation::Action::moveToTrash()},
        {"Trash", {".local/share/Trash"}, 3'000'000, CleanupRecommendation::Action::openInFinder()},
        {"Application Data", {".local/share"}, 2'000'000, CleanupRecommendation::Action::none()},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.title);
        const auto* r = findTitled(result, e.title);
        ASSERT_NE(r, nullptr);
        std::vector<std::string> paths;
        for (const auto& relative : e.relativePaths) paths.push_back(home.file(relative));
        EXPECT_EQ(r->paths, paths);
        EXPECT_GE(r->bytes, e.atLeast);
        EXPECT_EQ(r->action, e.action);
        // Every path carries its own size, and they add up to the finding's.
        ASSERT_EQ(r->pathBytes.size(), r->paths.size());
        std::int64_t sum = 0;
        for (auto size : r->pathBytes) sum += size;
        EXPECT_EQ(sum, r->bytes);
    }
    // The Trash inside the data folder is a finding of its own, not counted a second time.
    EXPECT_LT(findTitled(result, "Application Data")->bytes, 3'000'000);
    const auto* browsers = findTitled(result, "Browser caches");
    EXPECT_GE(browsers->pathBytes[0], 12'000'000);
    EXPECT_LT(browsers->pathBytes[1], 2'000'000);
    // The browsers' caches inside ~/.cache are not listed a second time as application caches.
    for (const char* browser : {"google-chrome", "mozilla", "chromium"})
        EXPECT_EQ(findTitled(result, std::string("Application caches: ") + browser), nullptr) << browser;
}

TEST(CleanupAnalyzer, TheTrashIsWhereTheDataHomeSaysAndOnOtherVolumes)
{
    TempDir home(unprotectedScratchBase());
    TempDir data(unprotectedScratchBase());
    ScopedEnvironment homeVariable("HOME", home.path());
    ScopedEnvironment dataVariable("XDG_DATA_HOME", data.path());
    reserveFile(data.file("Trash/files/old.iso"), 4'000'000);
    reserveFile(data.file("app/state.db"), 1'000);
    reserveFile(home.file(".local/share/Trash/files/stale.iso"), 1'000);   // not the Trash while the data home is elsewhere

    const auto result = CleanupAnalyzer(home.path(), nullptr, home.file("no system")).analyze(nullptr);
    const auto* trash = findTitled(result, "Trash");
    ASSERT_NE(trash, nullptr);
    EXPECT_EQ(trash->paths, std::vector<std::string>{data.file("Trash")});
    EXPECT_GE(trash->bytes, 4'000'000);
    EXPECT_EQ(trash->action, CleanupRecommendation::Action::openInFinder());

    // The applications' data is the data home's too, not a fixed ~/.local/share.
    const auto* support = findTitled(result, "Application Data");
    ASSERT_NE(support, nullptr);
    EXPECT_EQ(support->paths, std::vector<std::string>{data.path()});
}

// The package cache and the journal are the system's: commands to copy, never moved.
TEST(CleanupAnalyzer, TheSystemsPackageCacheAndJournalOfferTheirOwnCommands)
{
    TempDir home(unprotectedScratchBase());
    TempDir system;
    ScopedEnvironment homeVariable("HOME", home.path());
    reserveFile(system.file("var/cache/apt/archives/libfoo_1.0_amd64.deb"), 12'000'000);
    reserveFile(system.file("var/log/journal/abc/system.journal"), 120'000'000);

    const auto result = CleanupAnalyzer(home.path(), nullptr, system.path()).analyze(nullptr);
    using Action = CleanupRecommendation::Action;
    const struct { const char* title; const char* path; CleanupSafety safety; Action action; } expected[] = {
        {"Package cache", "var/cache/apt/archives", CleanupSafety::safe, Action::command("sudo apt-get clean")},
        {"System journal", "var/log/journal", CleanupSafety::review,
         Action::command("sudo journalctl --vacuum-size=500M")},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.title);
        const auto* r = findTitled(result, e.title);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->paths, std::vector<std::string>{system.file(e.path)});
        EXPECT_EQ(r->safety, e.safety);
        EXPECT_EQ(r->action, e.action);
    }
    // Below their thresholds they are no findings.
    std::filesystem::resize_file(system.file("var/cache/apt/archives/libfoo_1.0_amd64.deb"), 1'000);
    std::filesystem::resize_file(system.file("var/log/journal/abc/system.journal"), 1'000);
    const auto small = CleanupAnalyzer(home.path(), nullptr, system.path()).analyze(nullptr);
    EXPECT_EQ(findTitled(small, "Package cache"), nullptr);
    EXPECT_EQ(findTitled(small, "System journal"), nullptr);
}
