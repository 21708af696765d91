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
    EXPECT_EQ(entries[0], (MountEntry{"/media/ann/MY STICK", "/", "/dev/sdb1", "vfat", 8, 17, false}));
    EXPECT_EQ(entries[1], (MountEntry{"/mnt/a\\b", "/sub", "/dev/mmcblk0p1", "exfat", 179, 1, true}));
    // Only the mount's own options decide; "ro" among the super options does not, nor "rox".
    EXPECT_FALSE(entries[2].readOnly);
}
