#include "analysis/FileTypeName.h"

#include "index/CaseFolding.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

TEST(FileTypeName, AVersionAfterTheNameIsNoType)
{
    struct Case {
        const char* name;
        const char* shown;
    };
    const Case cases[] = {
        {"photo.JPG", "JPG"},
        {"libfoo.so", "SO"},
        {"libfoo.so.13", "SO"},
        {"libstdc++.so.6.0.30", "SO"},
        {"libQt5Core.so.5.15.0_X5", "SO"},
        {"libnode.so.0-STABLE", "SO"},
        {"python3.11", "File"},
        {"gcc-12", "File"},
        {"ld-linux-x86-64.so.2", "SO"},
        {"backup.tar.gz", "GZ"},
        // Types that start with a digit are types.
        {"archive.7z", "7Z"},
        {"clip.3gp", "3GP"},
        {"movie.7z.001", "7Z"},
        {".13", "File"},
        {"README", "File"},
        {".bashrc", "File"},
        {"x.2", "File"},
    };
    for (const Case& c : cases) {
        FileItem file;
        file.name = c.name;
        file.fileExtension = CaseFolding::lowercased(Paths::extension(c.name));
        EXPECT_EQ(FileTypeName::of(file), c.shown) << c.name;
    }
    EXPECT_EQ(FileTypeName::typeExtension("libfoo.so.13", "13"), "so");
    EXPECT_EQ(FileTypeName::typeExtension("python3.11", "11"), "");
}
