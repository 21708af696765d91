#include "platform/TrashFolders.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

TEST(TrashFolders, TheHomeTrashFollowsTheDataHome)
{
    {
        ScopedEnvironment data("XDG_DATA_HOME", "");
        EXPECT_EQ(TrashFolders::home("/home/ann"), "/home/ann/.local/share/Trash");
    }
    {
        ScopedEnvironment data("XDG_DATA_HOME", "/data/ann/");
        EXPECT_EQ(TrashFolders::home("/home/ann"), "/data/ann/Trash");
    }
    ScopedEnvironment relative("XDG_DATA_HOME", "data");   // not absolute: ignored
    EXPECT_EQ(TrashFolders::home("/home/ann"), "/home/ann/.local/share/Trash");
    EXPECT_EQ(TrashFolders::onVolume("/media/ann/USB", 1000),
              (std::vector<std::string>{"/media/ann/USB/.Trash/1000", "/media/ann/USB/.Trash-1000"}));
}

TEST(TrashFolders, AllNamesTheTrashesThisUserHasOnLocalVolumes)
{
    TempDir dir;
    ScopedEnvironment data("XDG_DATA_HOME", dir.file("data"));
    const std::string uid = std::to_string(::getuid());
    dir.makeFolder("stick/.Trash-" + uid + "/files");
    dir.makeFolder("disk/.Trash/" + uid + "/files");
    dir.makeFolder("disk/.Trash-" + uid);
    dir.makeFolder("other/.Trash-99999");
    dir.makeFolder("share/.Trash-" + uid);
    const std::string mountinfo = "26 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                  "50 26 8:17 / " + dir.file("stick") + " rw - vfat /dev/sdb1 rw\n"
                                  "51 26 8:33 / " + dir.file("disk") + " rw - ext4 /dev/sdc1 rw\n"
                                  "52 26 8:49 / " + dir.file("other") + " rw - ext4 /dev/sdd1 rw\n"
                                  "53 26 0:60 / " + dir.file("share") + " rw - nfs4 server:/export rw\n"
                                  "54 26 0:61 / " + dir.file("missing") + " rw - ext4 /dev/sde1 rw\n";
    EXPECT_EQ(TrashFolders::all("/home/ann", MountTable::parse(mountinfo)),
              (std::vector<std::string>{dir.file("data/Trash"), dir.file("stick/.Trash-" + uid),
                                        dir.file("disk/.Trash/" + uid), dir.file("disk/.Trash-" + uid)}));
}

TEST(TrashFolders, TrashFoldersAtTheTopOfEveryVolumeAreRecognised)
{
    const auto mounts = MountTable::parse("26 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                          "50 26 8:17 / /media/ann/USB rw - vfat /dev/sdb1 rw\n");
    struct Case { const char* path; bool inside; };
    const Case cases[] = {
        {"/media/ann/USB/.Trash-1000", true},
        {"/media/ann/USB/.Trash-1000/files/a.jpg", true},
        {"/media/ann/USB/.Trash-1001/info/a.jpg.trashinfo", true},
        {"/media/ann/USB/.Trash", true},
        {"/media/ann/USB/.Trash/1000/files/a.jpg", true},
        {"/.Trash-0/files/x", true},
        {"/media/ann/USB", false},
        {"/media/ann/USB/.Trash-", false},
        {"/media/ann/USB/.Trash-12a", false},
        {"/media/ann/USB/.Trashes/x", false},
        {"/media/ann/USB/photos/.Trash-1000", false},
        {"/media/ann/.Trash-1000", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrashFolders::isWithinVolumeTrash(c.path, mounts), c.inside) << c.path;
}
