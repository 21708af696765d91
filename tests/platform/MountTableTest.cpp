#include "platform/MountTable.h"

#include <gtest/gtest.h>

TEST(MountTable, DecodesFieldsAroundOptionalTags)
{
    const auto entries = MountTable::parse(
        "50 26 8:17 / /media/ann/MY\\040STICK rw,nosuid shared:1 master:2 - vfat /dev/sdb1 rw\n"
        "51 26 179:1 /sub /mnt/a\\134b ro - exfat /dev/mmcblk0p1 rw\n"
        "52 26 0:60 / /mnt/rox rw,noatime - nfs4 server:/export ro\n"
        "short line - x\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (MountEntry{"/media/ann/MY STICK", "/", "/dev/sdb1", "vfat", 8, 17, false, "rw"}));
    EXPECT_EQ(entries[1], (MountEntry{"/mnt/a\\b", "/sub", "/dev/mmcblk0p1", "exfat", 179, 1, true, "rw"}));
    // Only the mount's own options decide; "ro" among the super options does not, nor "rox".
    EXPECT_FALSE(entries[2].readOnly);
}

TEST(MountTable, TellsWholeFileSystemsAndSubvolumesFromBindMounts)
{
    const auto entries = MountTable::parse(
        "59 1 0:33 /root / rw - btrfs /dev/nvme0n1p3 rw,ssd,subvolid=257,subvol=/root\n"
        "95 59 0:33 /home /home rw - btrfs /dev/nvme0n1p3 rw,ssd,subvolid=256,subvol=/home\n"
        "96 59 0:33 /home/ann/www /srv/www rw - btrfs /dev/nvme0n1p3 rw,ssd,subvolid=256,subvol=/home\n"
        "97 59 0:33 /home /mnt/home rw - btrfs /dev/nvme0n1p3 rw,ssd,subvolid=256,subvol=/home\n"
        "98 59 8:17 / /media/a rw - ext4 /dev/sdb1 rw\n"
        "99 59 8:17 / /media/b rw - ext4 /dev/sdb1 rw\n"
        "100 59 8:17 /photos /media/c rw - ext4 /dev/sdb1 rw\n"
        "101 59 0:70 / /mnt/ssh rw - fuse.sshfs host: rw\n"
        "102 59 0:71 / /mnt/ntfs rw - fuseblk /dev/sdc1 rw\n"
        "103 59 0:72 / /mnt/box rw - fuse boxfs rw\n");
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(entries[1].superOptions, "rw,ssd,subvolid=256,subvol=/home");
    const bool whole[] = {true, true, false, true, true, true, false, true, true, true};
    for (std::size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(MountTable::showsWholeFileSystem(entries[i]), whole[i]) << entries[i].mountPoint;

    struct Case { std::size_t later, earlier; bool repeats; } cases[] = {
        {1, 0, false},   // another subvolume of the same file system
        {2, 1, true},    // a folder of /home bound elsewhere
        {3, 1, true},    // /home mounted a second time
        {5, 4, true},    // the same disk mounted twice
        {6, 4, true},    // a folder of it
        {4, 0, false},   // another device
    };
    for (const Case& c : cases)
        EXPECT_EQ(MountTable::repeats(entries[c.later], entries[c.earlier]), c.repeats)
            << entries[c.later].mountPoint << " after " << entries[c.earlier].mountPoint;

    EXPECT_TRUE(MountTable::sameFileSystem(entries[0], entries[1]));
    EXPECT_FALSE(MountTable::sameFileSystem(entries[0], entries[4]));
    EXPECT_TRUE(MountTable::mayNotAnswer(entries[7]));
    EXPECT_FALSE(MountTable::mayNotAnswer(entries[8]));
    EXPECT_TRUE(MountTable::mayNotAnswer(entries[9]));
    EXPECT_EQ(MountTable::visibleAt(entries, "/home"), &entries[1]);
    EXPECT_EQ(MountTable::visibleAt(entries, "/nowhere"), nullptr);
}
