#include "platform/DebianPackages.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct DpkgFixture {
    DpkgFixture()
    {
        dir.write("dpkg/status", "Package: editor\nStatus: install ok installed\nVersion: 2:9.0-1\nArchitecture: amd64\n\n"
                                 "Package: removed\nStatus: deinstall ok config-files\nVersion: 1.0\n\n"
                                 "Package: libmulti\nStatus: install ok installed\nArchitecture: i386\nVersion: 3.1\n");
        editorFile = dir.write("root/usr/bin/editor", 5000);
        entryFile = dir.write("root/usr/share/applications/editor.desktop", 100);
        ::link(editorFile.c_str(), dir.file("root/usr/bin/editor-link").c_str());
        dir.write("dpkg/info/editor.list", "/.\n" + dir.file("root/usr") + "\n" + editorFile + "\n"
                                               + dir.file("root/usr/bin/editor-link") + "\n" + entryFile + "\n"
                                               + dir.file("root/usr/share/gone") + "\n");
        dir.write("dpkg/info/libmulti:i386.list", dir.file("root/usr/lib/libmulti.so") + "\n");
        dir.write("dpkg/info/editor.md5sums", entryFile + "\n");
    }

    DebianPackages packages() const { return DebianPackages(dir.file("dpkg")); }

    TempDir dir;
    std::string editorFile;
    std::string entryFile;
};

} // namespace

TEST(DebianPackages, FindsOwnersAndVersions)
{
    const DpkgFixture f;
    const auto packages = f.packages();
    const auto owners = packages.owners({f.entryFile, f.dir.file("root/usr/lib/libmulti.so"), "/nowhere"});
    EXPECT_EQ(owners, (std::map<std::string, std::string>{{f.entryFile, "editor"},
                                                          {f.dir.file("root/usr/lib/libmulti.so"), "libmulti:i386"}}));

    const struct {
        const char* package;
        std::optional<std::string> version;
    } cases[] = {
        {"editor", "2:9.0-1"},
        {"libmulti:i386", "3.1"},
        {"removed", std::nullopt}, // only its configuration is left
        {"unknown", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(packages.version(c.package), c.version) << c.package;
}

TEST(DebianPackages, SizesEachRegularFileOnce)
{
    const DpkgFixture f;
    // Folders, a missing file and a second hard link to the same file add nothing.
    const auto size = f.packages().size({"editor"});
    EXPECT_EQ(size.fileCount, 2);
    EXPECT_EQ(size.logicalBytes, 5100);
    EXPECT_GE(size.allocatedBytes, 5100);
    EXPECT_FALSE(size.wasCancelled);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(f.packages().size({"editor"}, stop.get_token()).wasCancelled);
    EXPECT_EQ(f.packages().size({"unknown"}).fileCount, 0);
}

TEST(DebianPackages, DependencyNames)
{
    const struct {
        const char* field;
        std::vector<std::string> names;
    } cases[] = {
        {"vim-common (= 2:9.0.1378-2), vim-runtime (= 2:9.0.1378-2), libc6 (>= 2.34)", {"vim-common", "vim-runtime", "libc6"}},
        {"gpgv | gpgv2 | gpgv1, adduser", {"gpgv", "gpgv2", "gpgv1", "adduser"}},
        {"python3:any, libfoo [amd64] <!nocheck>", {"python3", "libfoo"}},
        {"", {}},
        {" , ,", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(DebianPackages::dependencyNames(c.field), c.names) << c.field;
}

// A program split into packages of one source, as vim is: the executable in vim, the
// desktop entry in vim-common, the runtime files in vim-runtime.
TEST(DebianPackages, OriginsFollowDependenciesOfTheSameSource)
{
    TempDir dir;
    dir.write("dpkg/status",
              "Package: vim\nStatus: install ok installed\nArchitecture: amd64\nVersion: 2:9.0-2\n"
              "Depends: vim-common (= 2:9.0-2), vim-runtime (= 2:9.0-2), libc6 (>= 2.34), libgpm2\n\n"
              "Package: vim-common\nStatus: install ok installed\nArchitecture: all\nSource: vim\nVersion: 2:9.0-2\n"
              "Depends: xxd\n\n"
              "Package: vim-runtime\nStatus: install ok installed\nArchitecture: all\nSource: vim\nVersion: 2:9.0-2\n\n"
              "Package: xxd\nStatus: install ok installed\nArchitecture: amd64\nSource: vim (2:9.0-2)\n\n"
              "Package: libc6\nStatus: install ok installed\nArchitecture: amd64\nSource: glibc\nMulti-Arch: same\n"
              "Depends: libgcc-s1\n\n"
              "Package: libc6\nStatus: install ok installed\nArchitecture: i386\nSource: glibc\nMulti-Arch: same\n\n"
              "Package: vim-doc\nStatus: deinstall ok config-files\nArchitecture: all\nSource: vim\n\n"
              "Package: vim-tiny\nStatus: install ok installed\nArchitecture: amd64\nSource: vim\n"
              "Pre-Depends: vim-doc\nDepends: libc6, vim-common\n\n"
              "Package: libc-bin\nStatus: install ok installed\nArchitecture: amd64\nSource: glibc\n"
              "Depends: libc6 (>> 2.36)\n");
    dir.write("dpkg/info/libc6:amd64.list", "/lib/x86_64-linux-gnu/libc.so.6\n");
    dir.write("dpkg/info/libc6:i386.list", "/lib/i386-linux-gnu/libc.so.6\n");
    const DebianPackages packages(dir.file("dpkg"));
    const auto origins = packages.origins({"vim", "vim-common", "vim-tiny", "libc-bin", "libc6:i386", "absent"});

    using Origin = DebianPackages::Origin;
    EXPECT_EQ(origins, (std::map<std::string, Origin>{
                           // Through vim-common to xxd, whose source names a version; not glibc's libc6.
                           {"vim", {"vim", {"vim-common", "vim-runtime", "xxd"}}},
                           {"vim-common", {"vim", {"xxd"}}},
                           // A package that is no longer installed is not a part.
                           {"vim-tiny", {"vim", {"vim-common", "xxd"}}},
                           // Named by the file list of the depender's architecture.
                           {"libc-bin", {"glibc", {"libc6:amd64"}}},
                           {"libc6:i386", {"glibc", {}}},
                       }));
}
