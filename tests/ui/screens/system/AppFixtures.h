#pragma once

#include "app/ApplicationsStore.h"
#include "platform/DebianPackages.h"
#include "app/system/DesktopApplicationScanner.h"
#include "support/DesktopEntryFixtures.h"
#include "platform/gio/DesktopEntry.h"
#include "support/TempDir.h"

#include <filesystem>
#include <string>
#include <vector>

// Desktop entries of a temporary system: a Debian package, a Flatpak and a
// program of no package (a copy of sleep, so tests can run and quit it).
struct AppFixtures {
    AppFixtures()
    {
        home = dir.makeFolder("home");
        const auto editorEntry = dir.write("share/applications/editor.desktop", "[Desktop Entry]\n");
        const auto editor = dir.write("bin/editor", elfHeader());
        dir.write("dpkg/status", "Package: editor\nStatus: install ok installed\nVersion: 2:9.0-1\n");
        dir.write("dpkg/info/editor.list", editorEntry + "\n" + editor + "\n");

        dir.write("flatpak/app/org.example.Flat/x86_64/stable/ab12/metadata", "[Application]\ncommand=flat\n");
        dir.write("flatpak/app/org.example.Flat/x86_64/stable/ab12/files/bin/flat", elfHeader());
        const auto flatEntry = dir.write(
            "flatpak/app/org.example.Flat/x86_64/stable/ab12/export/share/applications/org.example.Flat.desktop", "x");

        dir.makeFolder("demo/bin");
        demoProgram = dir.file("demo/bin/demo");
        std::filesystem::copy_file("/bin/sleep", demoProgram);
        const auto demoEntry = dir.write("share/applications/demo.desktop", "[Desktop Entry]\n");

        DesktopEntry flat = desktopEntry("org.example.Flat.desktop", "Flat", flatEntry, "/usr/bin/flatpak");
        flat.flatpakID = "org.example.Flat";
        const DesktopApplicationScanner scanner{DebianPackages(dir.file("dpkg")), home, dir.file("snap")};
        apps = scanner.readApplications(
            {desktopEntry("editor.desktop", "Editor", editorEntry, editor), flat, desktopEntry("demo.desktop", "Demo", demoEntry, demoProgram)});
    }

    // A store that lists the fixtures and gives each folder the size `sizes` names (none: unmeasured).
    ApplicationsStore* store(std::function<std::optional<std::int64_t>(const std::string&)> sizes) const
    {
        auto listed = apps;
        auto sizer = [sizes](const std::string& path, StorageDatabase*, std::stop_token) {
            FolderSizeResult result;
            result.exists = true;
            result.allocatedSize = sizes(path).value_or(0);
            return result;
        };
        return new ApplicationsStore({dir.file("none")}, sizer, [listed] { return listed; },
                                     [sizer](const std::vector<std::string>& packages, std::stop_token stop) {
                                         return sizer(packages.front(), nullptr, stop);
                                     });
    }

    const ApplicationInfo& named(const std::string& name) const
    {
        for (const auto& app : apps)
            if (app.name == name)
                return app;
        throw std::runtime_error("no fixture named " + name);
    }

    TempDir dir;
    std::string home;
    std::string demoProgram;
    std::vector<ApplicationInfo> apps;
};
