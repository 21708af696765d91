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
    const auto size = f.packages().size("editor");
    EXPECT_EQ(size.fileCount, 2);
    EXPECT_EQ(size.logicalBytes, 5100);
    EXPECT_GE(size.allocatedBytes, 5100);
    EXPECT_FALSE(size.wasCancelled);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(f.packages().size("editor", stop.get_token()).wasCancelled);
    EXPECT_EQ(f.packages().size("unknown").fileCount, 0);
}
