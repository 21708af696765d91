#include "analysis/FileDetailsLoader.h"
#include "platform/FileTypeDescriber.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system's type database plays no part in what the loader decides.
struct KnownTypes : FileTypeDescriber {
    std::optional<FileTypeDescription> describeFile(const std::string& path) const override
    {
        if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".txt") == 0)
            return FileTypeDescription{"plain text document", "text/plain"};
        return std::nullopt;
    }
    std::optional<std::string> describeExtension(const std::string& extension) const override
    {
        return extension == "txt" ? std::optional<std::string>("plain text document") : std::nullopt;
    }
};

} // namespace

TEST(FileDetailsLoader, PermissionTextShowsOnlyTheNineAccessBits)
{
    const struct { std::uint16_t mode; const char* text; } cases[] = {
        {0644, "rw-r--r--"}, {0755, "rwxr-xr-x"}, {0, "---------"}, {0777, "rwxrwxrwx"},
        {04755, "rwxr-xr-x"}, {01777, "rwxrwxrwx"}, {0100600, "rw-------"}, {0070, "---rwx---"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileDetailsLoader::posixString(c.mode), c.text) << std::oct << c.mode;
}

TEST(FileDetailsLoader, TypeDescriptionForExtensions)
{
    const KnownTypes types;
    EXPECT_EQ(FileDetailsLoader::typeDescription("", types), "Document");
    EXPECT_EQ(FileDetailsLoader::typeDescription("xyz", types), "XYZ file");
    EXPECT_EQ(FileDetailsLoader::typeDescription("tar.gz", types), "TAR.GZ file");
    EXPECT_EQ(FileDetailsLoader::typeDescription("jp\u00e9", types), "JP\u00c9 file");
    EXPECT_EQ(FileDetailsLoader::typeDescription("txt", types), "plain text document");
}

TEST(FileDetailsLoader, ReadsTheItemItselfAndItsPermissions)
{
    TempDir dir;
    const KnownTypes types;
    const std::string file = dir.write("notes.txt", 5000);
    const struct { mode_t mode; const char* text; } modes[] = {
        {0644, "rw-r--r-- (644)"}, {0755, "rwxr-xr-x (755)"}, {0, "--------- (0)"}, {04711, "rwx--x--x (4711)"},
    };
    for (const auto& m : modes) {
        ASSERT_EQ(::chmod(file.c_str(), m.mode), 0);
        EXPECT_EQ(FileDetailsLoader::load(file, types).posixPermissions, m.text);
    }

    const FileDetails details = FileDetailsLoader::load(file, types);
    EXPECT_TRUE(details.exists);
    EXPECT_EQ(details.typeDescription, "plain text document");
    EXPECT_EQ(details.typeIdentifier, "text/plain");
    EXPECT_EQ(details.logicalSize, 5000);
    ASSERT_TRUE(details.allocatedSize);
    EXPECT_EQ(*details.allocatedSize % 512, 0);
    ASSERT_TRUE(details.modified);
    struct stat info{};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_NEAR(*details.modified, static_cast<double>(info.st_mtim.tv_sec), 1.0);
    EXPECT_FALSE(details.isSymlink);
    EXPECT_FALSE(details.symlinkDestination);
    EXPECT_FALSE(details.isHidden);
    if (const passwd* me = ::getpwuid(::getuid())) {
        EXPECT_EQ(details.owner, std::string(me->pw_name));
    }
    EXPECT_TRUE(details.group);

    // A folder has no file sizes; a dot name is hidden.
    const FileDetails folder = FileDetailsLoader::load(dir.makeFolder(".config-like"), types);
    EXPECT_TRUE(folder.exists);
    EXPECT_TRUE(folder.isHidden);
    EXPECT_FALSE(folder.logicalSize);
    EXPECT_FALSE(folder.allocatedSize);
}

TEST(FileDetailsLoader, DanglingLinksExistAndMissingPathsHaveNoFacts)
{
    TempDir dir;
    const KnownTypes types;
    const std::string link = dir.file("dangling.txt");
    ASSERT_EQ(::symlink("../gone/target.bin", link.c_str()), 0);
    const FileDetails dangling = FileDetailsLoader::load(link, types);
    EXPECT_TRUE(dangling.exists);
    EXPECT_TRUE(dangling.isSymlink);
    EXPECT_FALSE(dangling.isAlias);
    EXPECT_EQ(dangling.symlinkDestination, "../gone/target.bin");
    EXPECT_TRUE(dangling.posixPermissions);

    const FileDetails missing = FileDetailsLoader::load(dir.file("never-there.txt"), types);
    EXPECT_FALSE(missing.exists);
    EXPECT_FALSE(missing.typeDescription);
    EXPECT_FALSE(missing.modified);
    EXPECT_FALSE(missing.created);
    EXPECT_FALSE(missing.logicalSize);
    EXPECT_FALSE(missing.posixPermissions);
    EXPECT_FALSE(missing.owner);
    EXPECT_TRUE(missing.safety.isProtected());
}
