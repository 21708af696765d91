#include "analysis/DeveloperStorageAnalyzer.h"
#include "support/ScannedTree.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace {

const DeveloperStorageGroup& group(const std::vector<DeveloperStorageGroup>& groups, const std::string& name)
{
    for (const auto& g : groups)
        if (g.name == name) return g;
    throw std::runtime_error("no group " + name);
}

// Items under the temporary home only: the machine may have tools at the absolute locations.
std::vector<DeveloperStorageItem> homeItems(const DeveloperStorageGroup& g, const std::string& home)
{
    std::vector<DeveloperStorageItem> items;
    for (const auto& item : g.items)
        if (item.path.empty() || item.path.starts_with(home)) items.push_back(item);
    return items;
}

} // namespace

TEST(DeveloperStorage, TableLocationsWithoutAnIndex)
{
    TempDir home;
    ScopedEnvironment scopedHome("HOME", home.path());
    home.write("Library/Developer/Xcode/DerivedData/App/x.o", 9000);
    home.write(".gradle/caches/jar", 5000);
    home.write(".npm/_cacache/blob", 100);
    home.write(".cargo/bin/cargo", 100);

    auto groups = DeveloperStorageAnalyzer(home.path(), nullptr).analyze();
    std::vector<std::string> names;
    for (const auto& g : groups) names.push_back(g.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Xcode", "Node.js", "Android", "Docker", "Git Repositories",
                                               "Other Toolchains"}));

    struct Expected {
        const char* group;
        const char* key;
        const char* title;
        const char* relative;
        std::optional<std::string> note;
    } expected[] = {
        {"Xcode", "Xcode", "DerivedData", "Library/Developer/Xcode/DerivedData", "Build intermediates"},
        {"Node.js", "Node.js", "npm cache", ".npm", std::nullopt},
        {"Android", "Android", "Gradle", ".gradle", "Dependency and build caches"},
        {"Other Toolchains", "Other", "Rust (cargo)", ".cargo", std::nullopt},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.title);
        auto items = homeItems(group(groups, e.group), home.path());
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].group, e.key);
        EXPECT_EQ(items[0].name, e.title);
        EXPECT_EQ(items[0].path, home.file(e.relative));
        EXPECT_EQ(items[0].detail, e.note);
        EXPECT_GT(items[0].bytes, 0);
        EXPECT_FALSE(items[0].isPartial);
    }

    const auto& node = group(groups, "Node.js");
    EXPECT_EQ(node.note, "Run a scan to find node_modules folders across your disk.");
    const auto& git = group(groups, "Git Repositories");
    EXPECT_TRUE(git.items.empty());
    EXPECT_FALSE(git.detected);
    EXPECT_EQ(git.note, "Run a scan to find Git repositories.");
    const auto& docker = group(groups, "Docker");
    EXPECT_FALSE(docker.detected);
    EXPECT_EQ(docker.note, "No Docker, OrbStack, Colima, Rancher Desktop or Podman data found.");

    // A cancelled analysis measures nothing more but still answers with every group.
    std::stop_source source;
    source.request_stop();
    auto cancelled = DeveloperStorageAnalyzer(home.path(), nullptr).analyze(source.get_token());
    ASSERT_EQ(cancelled.size(), 6u);
    for (const auto& g : cancelled) {
        EXPECT_TRUE(g.items.empty()) << g.name;
        EXPECT_FALSE(g.detected) << g.name;
    }
}

// The toolchains a Linux system installs for everyone, beside the macOS places of the same tools.
TEST(DeveloperStorage, SystemWideToolchainsOfLinux)
{
    TempDir home;
    TempDir system;
    ScopedEnvironment scopedHome("HOME", home.path());
    system.write("usr/lib/jvm/java-17-openjdk-amd64/lib/modules", 9000);
    system.write("usr/local/go/bin/go", 8000);
    system.write("opt/flutter/bin/flutter", 7000);
    system.write("opt/android-sdk/platform-tools/adb", 6000);
    system.write("opt/android-studio/bin/studio.sh", 5000);
    system.write("home/linuxbrew/.linuxbrew/bin/brew", 4000);

    const auto groups = DeveloperStorageAnalyzer(home.path(), nullptr, system.path()).analyze();
    const struct { const char* group; const char* key; const char* title; const char* path; } expected[] = {
        {"Android", "Android", "Android SDK", "opt/android-sdk"},
        {"Android", "Android", "Android Studio", "opt/android-studio"},
        {"Other Toolchains", "Other", "Homebrew", "home/linuxbrew/.linuxbrew"},
        {"Other Toolchains", "Other", "Java (JDKs)", "usr/lib/jvm"},
        {"Other Toolchains", "Other", "Go toolchain", "usr/local/go"},
        {"Other Toolchains", "Other", "Flutter SDK", "opt/flutter"},
    };
    std::vector<std::pair<std::string, std::string>> found;
    for (const char* name : {"Android", "Other Toolchains"})
        for (const auto& item : group(groups, name).items) found.emplace_back(item.name, item.path);
    std::vector<std::pair<std::string, std::string>> wanted;
    for (const auto& e : expected) wanted.emplace_back(e.title, system.file(e.path));
    EXPECT_EQ(found, wanted);
    for (const auto& item : group(groups, "Other Toolchains").items) EXPECT_GT(item.bytes, 0) << item.name;
}

TEST(DeveloperStorage, IndexedFoldersProjectsAndRepositories)
{
    TempDir home;
    ScopedEnvironment scopedHome("HOME", home.path());
    ScannedTree index;
    home.write(".rustup/toolchains/rustc", 100);
    index.record(home.file(".rustup"), 7'000'000);  // scanned: its size comes from the index
    home.write(".cargo/registry/crate", 100);
    index.database.ensureRoot(home.file(".cargo"), 1);  // known but never scanned: sized on disk
    home.makeFolder(".docker");
    index.record(home.file("p1/node_modules"), 100'000'000);
    index.record(home.file("p2/node_modules"), 50'000'000);
    index.record(home.file("p3/node_modules"), 25'000'000);
    index.record(home.file("p3/node_modules/dep/node_modules"), 1'000'000);  // nested: not a project
    index.record(home.file(".git"), 1'000'000);
    for (int i = 0; i < 59; ++i) index.record(home.file("repos/r" + std::to_string(i) + "/.git"), 200'000 - i);
    index.finish();

    auto groups = DeveloperStorageAnalyzer(home.path(), &index.database).analyze();

    auto other = homeItems(group(groups, "Other Toolchains"), home.path());
    ASSERT_EQ(other.size(), 2u);
    EXPECT_EQ(other[0].name, "Rust (cargo)");
    EXPECT_GT(other[0].bytes, 0);
    EXPECT_EQ(other[1].name, "Rust toolchains");
    EXPECT_EQ(other[1].bytes, 7'000'000);

    const auto& docker = group(groups, "Docker");
    EXPECT_TRUE(docker.detected);
    EXPECT_EQ(docker.note,
              "The virtual disk size is space allocated on disk. Use `docker system df` to see what's inside it.");

    const auto& node = group(groups, "Node.js");
    EXPECT_EQ(node.note, std::nullopt);
    ASSERT_EQ(node.items.size(), 4u);
    EXPECT_EQ(node.items[0].name, "node_modules (3 projects)");
    EXPECT_EQ(node.items[0].bytes, 175'000'000);
    EXPECT_EQ(node.items[0].path, home.file("p1/node_modules"));
    EXPECT_EQ(node.items[0].detail, "Largest: ~/p1/node_modules");
    EXPECT_EQ(node.items[3].name, "p3/node_modules");
    EXPECT_EQ(node.items[3].bytes, 0);
    EXPECT_EQ(node.items[3].detail, "25.0 MB");

    const auto& git = group(groups, "Git Repositories");
    EXPECT_EQ(git.note, "60 repositories found. Sizes are the .git folders only (history and objects).");
    ASSERT_EQ(git.items.size(), 51u);
    EXPECT_EQ(git.items[0].detail, "~");  // the repository at the home folder is the largest
    EXPECT_EQ(git.items[0].group, "Git");
    EXPECT_EQ(git.items[1].name, "r0");
    EXPECT_EQ(git.items[1].detail, "~/repos/r0");
    EXPECT_EQ(git.items[50].name, "10 more repositories");
    EXPECT_EQ(git.items[50].path, "");
    std::int64_t rest = 0;
    for (int i = 49; i < 59; ++i) rest += 200'000 - i;
    EXPECT_EQ(git.items[50].bytes, rest);
}

TEST(DeveloperStorage, FreedesktopPlacesBesideTheirMacFolders)
{
    TempDir home;
    ScopedEnvironment scopedHome("HOME", home.path());
    home.write(".cache/yarn/v6/package.tgz", 40'000);
    home.write("Android/Sdk/platforms/android-34/android.jar", 90'000);
    home.write(".cache/Google/AndroidStudio2023.1/index", 30'000);
    home.write(".local/share/Google/AndroidStudio2023.1/plugins", 20'000);
    home.write(".local/share/rancher-desktop/lima/disk", 50'000);
    // The macOS folder of a row is measured beside its counterpart when both exist.
    home.write("Library/Caches/Yarn/blob", 10'000);

    auto groups = DeveloperStorageAnalyzer(home.path(), nullptr).analyze();

    struct Expected {
        const char* group;
        const char* title;
        const char* relative;
        std::int64_t atLeast;
    } expected[] = {
        {"Node.js", "Yarn cache", "Library/Caches/Yarn", 10'000},
        {"Node.js", "Yarn cache", ".cache/yarn", 40'000},
        {"Android", "Android SDK", "Android/Sdk", 90'000},
        {"Android", "Android Studio caches", ".cache/Google", 30'000},
        {"Android", "Android Studio settings", ".local/share/Google", 20'000},
        {"Docker", "Rancher Desktop", ".local/share/rancher-desktop", 50'000},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(std::string(e.title) + " " + e.relative);
        const auto items = homeItems(group(groups, e.group), home.path());
        auto found = std::find_if(items.begin(), items.end(),
                                  [&](const DeveloperStorageItem& item) { return item.path == home.file(e.relative); });
        ASSERT_NE(found, items.end());
        EXPECT_EQ(found->name, e.title);
        EXPECT_GE(found->bytes, e.atLeast);
    }
    EXPECT_TRUE(group(groups, "Android").detected);
    EXPECT_TRUE(group(groups, "Docker").detected);
}

TEST(DeveloperStorage, CountsOfOneAreWordedInTheSingular)
{
    TempDir home;
    ScopedEnvironment scopedHome("HOME", home.path());
    ScannedTree index;
    index.record(home.file("only/node_modules"), 10'000'000);
    for (int i = 0; i < 51; ++i) index.record(home.file("repos/r" + std::to_string(i) + "/.git"), 200'000 - i);
    index.finish();
    auto groups = DeveloperStorageAnalyzer(home.path(), &index.database).analyze();
    EXPECT_EQ(group(groups, "Node.js").items[0].name, "node_modules (1 project)");
    const auto& git = group(groups, "Git Repositories");
    EXPECT_EQ(git.note, "51 repositories found. Sizes are the .git folders only (history and objects).");
    EXPECT_EQ(git.items.back().name, "1 more repository");

    ScannedTree single;
    single.record(home.file("one/.git"), 1'000);
    single.finish();
    groups = DeveloperStorageAnalyzer(home.path(), &single.database).analyze();
    EXPECT_EQ(group(groups, "Git Repositories").note,
              "1 repository found. Sizes are the .git folders only (history and objects).");
}
