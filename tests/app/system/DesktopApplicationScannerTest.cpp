#include "app/system/DesktopApplicationScanner.h"

#include "support/DesktopEntryFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include <unistd.h>

namespace {

using Arch = CPUArchitecture;

const ApplicationInfo& named(const std::vector<ApplicationInfo>& apps, const std::string& name)
{
    const auto it = std::find_if(apps.begin(), apps.end(), [&](const auto& app) { return app.name == name; });
    EXPECT_NE(it, apps.end()) << name;
    return *it;
}

} // namespace

TEST(DesktopApplicationScanner, ReadsFolderAndVersionFacts)
{
    EXPECT_EQ(DesktopApplicationScanner::applicationID("org.example.App.desktop"), "org.example.App");
    EXPECT_EQ(DesktopApplicationScanner::applicationID("plain"), "plain");
    EXPECT_EQ(DesktopApplicationScanner::applicationID(".desktop"), ".desktop");

    const struct {
        const char* path;
        std::optional<std::string> folder;
    } deploys[] = {
        {"/var/lib/flatpak/app/org.x.Y/x86_64/stable/ab12/export/share/applications/org.x.Y.desktop",
         "/var/lib/flatpak/app/org.x.Y/x86_64/stable/ab12"},
        {"/usr/share/applications/org.x.Y.desktop", std::nullopt},
    };
    for (const auto& c : deploys)
        EXPECT_EQ(DesktopApplicationScanner::flatpakDeployFolder(c.path), c.folder) << c.path;

    const struct {
        const char* executable;
        std::optional<std::string> folder;
    } opts[] = {
        {"/opt/Editor/bin/editor", "/opt/Editor"},
        {"/opt/tool", std::nullopt}, // a file right in /opt owns no folder
        {"/optional/bin/x", std::nullopt},
        {"/usr/bin/editor", std::nullopt},
    };
    for (const auto& c : opts)
        EXPECT_EQ(DesktopApplicationScanner::optFolder(c.executable), c.folder) << c.executable;

    const struct {
        const char* text;
        std::optional<std::string> version;
    } appStream[] = {
        {R"(<component><releases><release version="2.1" date="2024-01-02"/><release version="2.0"/></releases>)", "2.1"},
        {R"(<release date="2024-01-02" version='3.0'>)", "3.0"},
        {R"(<release date="2024-01-02"/>)", std::nullopt},
        {R"(<component/>)", std::nullopt},
    };
    for (const auto& c : appStream)
        EXPECT_EQ(DesktopApplicationScanner::appStreamVersion(c.text), c.version) << c.text;

    EXPECT_EQ(DesktopApplicationScanner::snapVersion("name: snapped\nversion: '1.2.3'\nsummary: x\n"), "1.2.3");
    EXPECT_EQ(DesktopApplicationScanner::snapVersion("name: snapped\n"), std::nullopt);
}

TEST(DesktopApplicationScanner, EntriesSharingAFolderKeepIdentitiesOfTheirOwn)
{
    TempDir dir;
    const DesktopApplicationScanner scanner{DebianPackages(dir.file("dpkg")), dir.makeFolder("home"), dir.file("snap")};
    const auto apps = scanner.readApplications({
        desktopEntry("suite-draw.desktop", "Suite Draw", dir.write("share/applications/suite-draw.desktop", "x"),
                     "/opt/Suite/bin/draw"),
        desktopEntry("suite-write.desktop", "Suite Write", dir.write("share/applications/suite-write.desktop", "x"),
                     "/opt/Suite/bin/write"),
    });
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].path, "/opt/Suite");
    EXPECT_EQ(apps[1].path, "/opt/Suite");
    EXPECT_EQ(apps[0].id(), "suite-draw.desktop");
    EXPECT_EQ(apps[1].id(), "suite-write.desktop");
}

TEST(DesktopApplicationScanner, DescribesPackagedApplications)
{
    TempDir dir;
    const std::string home = dir.makeFolder("home");

    // A Debian package that ships the entry and its executable.
    const auto editorEntry = dir.write("share/applications/editor.desktop", "[Desktop Entry]\n");
    const auto editor = dir.write("bin/editor", elfHeader(62));
    dir.write("dpkg/status", "Package: editor\nStatus: install ok installed\nVersion: 2:9.0-1\n");
    dir.write("dpkg/info/editor.list", editorEntry + "\n" + editor + "\n");
    // An entry of no package, its command a script.
    const auto loose = dir.write("share/applications/loose.desktop", "[Desktop Entry]\n");
    const auto script = dir.write("bin/loose", "#!/bin/sh\n");

    // A system Flatpak, its entry exported through a link.
    const std::string deploy = dir.makeFolder("flatpak/app/org.example.Flat/x86_64/stable/ab12");
    dir.write("flatpak/app/org.example.Flat/x86_64/stable/ab12/metadata", "[Application]\ncommand=flat\n");
    dir.write("flatpak/app/org.example.Flat/x86_64/stable/ab12/files/bin/flat", elfHeader(183));
    dir.write("flatpak/app/org.example.Flat/x86_64/stable/ab12/files/share/metainfo/org.example.Flat.metainfo.xml",
              R"(<component><releases><release version="4.2"/></releases></component>)");
    const auto exported = dir.write(
        "flatpak/app/org.example.Flat/x86_64/stable/ab12/export/share/applications/org.example.Flat.desktop", "x");
    dir.makeFolder("flatpak/exports/share/applications");
    const auto flatEntry = dir.file("flatpak/exports/share/applications/org.example.Flat.desktop");
    ASSERT_EQ(::symlink(exported.c_str(), flatEntry.c_str()), 0);
    // A Flatpak of the user's own installation.
    const auto userEntry = dir.write(
        "home/.local/share/flatpak/app/org.example.Mine/x86_64/stable/cd34/export/share/applications/org.example.Mine.desktop",
        "x");

    // A snap, its current revision a link.
    dir.write("snap/snapped/12/meta/snap.yaml", "name: snapped\nversion: \"1.2\"\n");
    ASSERT_EQ(::symlink("12", dir.file("snap/snapped/current").c_str()), 0);
    const auto snapEntry = dir.write("share/applications/snapped_snapped.desktop", "x");

    auto flat = desktopEntry("org.example.Flat.desktop", "Flat", flatEntry, "/usr/bin/flatpak");
    flat.flatpakID = "org.example.Flat";
    auto mine = desktopEntry("org.example.Mine.desktop", "Mine", userEntry, "/usr/bin/flatpak");
    mine.flatpakID = "org.example.Mine";
    auto snapped = desktopEntry("snapped_snapped.desktop", "Snapped", snapEntry, "/usr/bin/env");
    snapped.snapName = "snapped";

    DesktopApplicationScanner scanner{DebianPackages(dir.file("dpkg")), home, dir.file("snap")};
    const auto apps = scanner.readApplications({desktopEntry("editor.desktop", "Editor", editorEntry, editor), flat,
                                                desktopEntry("loose.desktop", "loose", loose, script), snapped, mine});
    ASSERT_EQ(apps.size(), 5u);
    std::vector<std::string> names;
    for (const auto& app : apps) names.push_back(app.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Editor", "Flat", "loose", "Mine", "Snapped"}));

    const auto& debian = named(apps, "Editor");
    EXPECT_EQ(debian.source, InstallSource::debian);
    EXPECT_EQ(debian.path, editorEntry);
    EXPECT_EQ(debian.bundleIdentifier, "editor");
    EXPECT_EQ(debian.desktopEntryID, "editor.desktop");
    EXPECT_EQ(debian.executablePath, editor);
    EXPECT_EQ(debian.executableName, "editor");
    EXPECT_EQ(debian.architectures, std::vector<Arch>{Arch::x86_64});
    EXPECT_EQ(debian.version, "2:9.0-1");
    EXPECT_EQ(debian.packageName, "editor");
    EXPECT_EQ(debian.removalCommand, "sudo apt remove editor");
    EXPECT_TRUE(debian.isSizedByPackage());
    EXPECT_EQ(debian.signature.kind, CodeSignatureStatus::Case::unavailable);

    const auto enved = scanner.readApplications({desktopEntry("e.desktop", "Env", loose, "/usr/bin/env")});
    ASSERT_EQ(enved.size(), 1u);
    EXPECT_FALSE(enved[0].executablePath) << "env is not the application";

    const auto& plain = named(apps, "loose");
    EXPECT_EQ(plain.source, InstallSource::desktopEntry);
    EXPECT_FALSE(plain.isPackageManaged());
    EXPECT_FALSE(plain.removalCommand);
    EXPECT_TRUE(plain.architectures.empty());

    const auto& system = named(apps, "Flat");
    EXPECT_EQ(system.source, InstallSource::flatpak);
    EXPECT_EQ(system.path, deploy);
    EXPECT_EQ(system.bundleIdentifier, "org.example.Flat");
    EXPECT_EQ(system.executablePath, deploy + "/files/bin/flat");
    EXPECT_EQ(system.architectures, std::vector<Arch>{Arch::arm64});
    EXPECT_EQ(system.version, "4.2");
    EXPECT_EQ(system.removalCommand, "flatpak uninstall org.example.Flat");
    EXPECT_FALSE(system.isSizedByPackage());

    const auto& user = named(apps, "Mine");
    EXPECT_EQ(user.removalCommand, "flatpak uninstall --user org.example.Mine");
    EXPECT_EQ(user.path, home + "/.local/share/flatpak/app/org.example.Mine/x86_64/stable/cd34");
    // No command in its metadata: the entry's own executable stays.
    EXPECT_EQ(user.executablePath, "/usr/bin/flatpak");

    const auto& snap = named(apps, "Snapped");
    EXPECT_EQ(snap.source, InstallSource::snap);
    EXPECT_EQ(snap.path, dir.file("snap/snapped/12"));
    EXPECT_EQ(snap.version, "1.2");
    EXPECT_EQ(snap.removalCommand, "sudo snap remove snapped");
    // snap's launcher is not the application's executable.
    EXPECT_FALSE(snap.executablePath);
}

// The desktop applications of this machine, when it has one of a Debian package.
TEST(DesktopApplicationScanner, ListsThisMachinesPackagedApplications)
{
    const DesktopApplicationScanner scanner{DebianPackages(), "/nonexistent-home"};
    const auto apps = scanner.readApplications(DesktopApplicationScanner::installedEntries());
    const auto packaged = std::find_if(apps.begin(), apps.end(), [](const ApplicationInfo& app) {
        return app.source == InstallSource::debian && app.executablePath && !app.architectures.empty();
    });
    if (packaged == apps.end()) GTEST_SKIP() << "no desktop application of a Debian package is installed";
    EXPECT_FALSE(packaged->name.empty());
    EXPECT_TRUE(packaged->executablePath->starts_with("/"));
    EXPECT_NE(packaged->architectures.front(), Arch::unknown);
    EXPECT_TRUE(packaged->version);
    EXPECT_GT(DebianPackages().size(packaged->sizedPackages).allocatedBytes, 0);
    EXPECT_NE(std::find(packaged->sizedPackages.begin(), packaged->sizedPackages.end(), *packaged->packageName),
              packaged->sizedPackages.end());
}

// Vim's entry is vim-common's; its executable, reached through the alternatives link,
// is vim's; vim-runtime holds most of its bytes. All three make up the application.
TEST(DesktopApplicationScanner, SizesTheProgramByThePackagesItIsMadeOf)
{
    TempDir dir;
    const auto entry = dir.write("usr/share/applications/vim.desktop", "[Desktop Entry]\n");
    const auto basic = dir.write("usr/bin/vim.basic", elfHeader(62) + std::string(3000, 'v'));
    const auto runtime = dir.write("usr/share/vim/vim90/syntax/c.vim", 40000);
    const auto xxd = dir.write("usr/bin/xxd", 2000);
    const auto shell = dir.write("usr/bin/dash", 1000);
    const auto notesEntry = dir.write("usr/share/applications/notes.desktop", "[Desktop Entry]\n");
    const auto notesScript = dir.write("usr/share/notes/notes.sh", 500);
    dir.makeFolder("etc/alternatives");
    ASSERT_EQ(::symlink(basic.c_str(), dir.file("etc/alternatives/vim").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("etc/alternatives/vim").c_str(), dir.file("usr/bin/vim").c_str()), 0);
    dir.write("dpkg/status",
              "Package: vim\nStatus: install ok installed\nArchitecture: amd64\nVersion: 2:9.0-2\n"
              "Depends: vim-common (= 2:9.0-2), vim-runtime (= 2:9.0-2), libc6 (>= 2.34)\n\n"
              "Package: vim-common\nStatus: install ok installed\nArchitecture: all\nSource: vim\nVersion: 2:9.0-2\n"
              "Depends: xxd\n\n"
              "Package: vim-runtime\nStatus: install ok installed\nArchitecture: all\nSource: vim\nVersion: 2:9.0-2\n\n"
              "Package: xxd\nStatus: install ok installed\nArchitecture: amd64\nSource: vim\nVersion: 2:9.0-2\n\n"
              "Package: libc6\nStatus: install ok installed\nArchitecture: amd64\nSource: glibc\n\n"
              "Package: dash\nStatus: install ok installed\nArchitecture: amd64\nVersion: 0.5.12\n\n"
              "Package: notes\nStatus: install ok installed\nArchitecture: all\nVersion: 1.0\nDepends: dash\n");
    dir.write("dpkg/info/vim.list", basic + "\n");
    dir.write("dpkg/info/vim-common.list", entry + "\n");
    dir.write("dpkg/info/vim-runtime.list", runtime + "\n");
    dir.write("dpkg/info/xxd.list", xxd + "\n");
    dir.write("dpkg/info/libc6.list", dir.file("lib/libc.so.6") + "\n");
    dir.write("dpkg/info/dash.list", shell + "\n");
    dir.write("dpkg/info/notes.list", notesEntry + "\n" + notesScript + "\n");

    const DesktopApplicationScanner scanner{DebianPackages(dir.file("dpkg")), dir.makeFolder("home")};
    const auto apps = scanner.readApplications({desktopEntry("vim.desktop", "Vim", entry, dir.file("usr/bin/vim")),
                                                // "sh -c notes.sh": the shell is not the application.
                                                desktopEntry("notes.desktop", "Notes", notesEntry, shell)});
    const auto& vim = named(apps, "Vim");
    EXPECT_EQ(vim.packageName, "vim-common");
    // The command removes what the figure counts, not only the package of the entry.
    EXPECT_EQ(vim.removalCommand, "sudo apt remove vim vim-common vim-runtime xxd");
    EXPECT_EQ(vim.sizedPackages, (std::vector<std::string>{"vim", "vim-common", "vim-runtime", "xxd"}));
    const auto size = scanner.packages.size(vim.sizedPackages);
    EXPECT_EQ(size.logicalBytes, static_cast<std::int64_t>(elfHeader(62).size() + 3000 + 40000 + 2000 + 16));
    EXPECT_EQ(size.fileCount, 4);

    EXPECT_EQ(named(apps, "Notes").sizedPackages, std::vector<std::string>{"notes"});

    // Entries of no package, as an installer or the user writes them: one that starts a packaged
    // program is sized by that program's package; one that starts a shell is not the shell's.
    const auto ownEntry = dir.write("home/.local/share/applications/my-vim.desktop", "[Desktop Entry]\n");
    const auto shellEntry = dir.write("home/.local/share/applications/script.desktop", "[Desktop Entry]\n");
    const auto loose = scanner.readApplications(
        {desktopEntry("my-vim.desktop", "My Vim", ownEntry, dir.file("usr/bin/vim")),
         desktopEntry("script.desktop", "Script", shellEntry, shell)});
    const auto& mine = named(loose, "My Vim");
    EXPECT_EQ(mine.source, InstallSource::debian);
    EXPECT_EQ(mine.packageName, "vim");
    EXPECT_EQ(mine.version, "2:9.0-2");
    EXPECT_EQ(mine.sizedPackages, (std::vector<std::string>{"vim", "vim-common", "vim-runtime", "xxd"}));
    EXPECT_EQ(mine.removalCommand, "sudo apt remove vim vim-common vim-runtime xxd");
    EXPECT_EQ(named(apps, "Notes").removalCommand, "sudo apt remove notes");
    EXPECT_EQ(named(loose, "Script").packageName, std::nullopt);
    EXPECT_TRUE(named(loose, "Script").sizedPackages.empty());

    const struct {
        const char* description;
        std::optional<std::string> executablePackage;
        std::vector<std::string> sized;
    } rules[] = {
        {"executable of the entry's own package", "vim-common", {"vim-common", "xxd"}},
        {"executable of another package of the source", "vim", {"vim", "vim-common", "vim-runtime", "xxd"}},
        {"executable of another source", "dash", {"vim-common"}},
        {"executable of no package", std::nullopt, {"vim-common"}},
    };
    const std::map<std::string, DebianPackages::Origin> origins{
        {"vim", {"vim", {"vim-common", "vim-runtime", "xxd"}}},
        {"vim-common", {"vim", {"xxd"}}},
        {"dash", {"dash", {}}},
    };
    for (const auto& rule : rules)
        EXPECT_EQ(DesktopApplicationScanner::sizedPackages("vim-common", rule.executablePackage, origins), rule.sized)
            << rule.description;
}
