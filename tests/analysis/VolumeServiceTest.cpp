#include "analysis/KnownLocation.h"
#include "analysis/VolumeService.h"
#include "analysis/StorageSummary.h"
#include "platform/MountTable.h"
#include "platform/VolumePlatform.h"
#include "platform/XdgUserDirs.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <unistd.h>
#include <unordered_set>

namespace {

VolumeCapacity space(std::int64_t total, std::int64_t available, std::optional<std::int64_t> free = std::nullopt)
{
    VolumeCapacity capacity;
    capacity.total = total;
    capacity.available = available;
    capacity.free = free;
    return capacity;
}

// Fixture /proc and /sys trees with capacities played for every mount point.
class FixtureVolumes : public VolumePlatform {
public:
    FixtureVolumes(const TempDir& dir, std::map<std::string, VolumeCapacity> capacities)
        : VolumePlatform(dir.file("proc/self/mountinfo"), dir.file("sys"), dir.path()),
          capacities_(std::move(capacities))
    {
    }
    std::optional<VolumeCapacity> capacity(const std::string& path) const override
    {
        asked.push_back(path);
        for (auto it = capacities_.rbegin(); it != capacities_.rend(); ++it)
            if (path == it->first || (it->first != "/" && path.rfind(it->first + "/", 0) == 0))
                return it->second;
        return std::nullopt;
    }

    mutable std::vector<std::string> asked;   // every path whose capacity was asked for

private:
    std::map<std::string, VolumeCapacity> capacities_;
};

std::vector<std::string> pathsOf(const std::vector<VolumeInfo>& volumes)
{
    std::vector<std::string> paths;
    for (const auto& v : volumes)
        paths.push_back(v.path);
    return paths;
}

void link(const std::string& target, const std::string& at)
{
    ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0) << at;
}

// A root disk, a USB stick with a label, a removable card reader, a network share,
// a bind mount, kernel mounts and a mount point with a space in its name.
void layOutSystem(const TempDir& dir)
{
    dir.write("proc/self/mountinfo",
              "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
              "26 1 8:2 / / rw,relatime - ext4 /dev/sda2 rw\n"
              "24 23 0:22 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
              "40 26 0:37 / /sys/fs/cgroup rw shared:9 - cgroup2 cgroup2 rw\n"
              "50 26 8:17 / /media/ann/MY\\040STICK rw,nosuid shared:1 master:2 - vfat /dev/sdb1 rw\n"
              "51 26 179:1 / /run/media/ann/card ro,nosuid - exfat /dev/mmcblk0p1 rw\n"
              "52 26 0:60 / /mnt/share rw - nfs4 server:/export rw\n"
              "53 26 8:2 /srv/data /srv/data rw - ext4 /dev/sda2 rw\n"
              "54 26 0:61 / /media/ann/unknown rw - fuse.mystery mystery rw\n"
              "55 26 8:3 / /boot/efi rw - vfat /dev/sda3 rw\n"
              "56 26 0:62 / /run/user/1000/doc rw - fuse.portal portal rw\n"
              "57 26 8:18 / /Volumes/Backup rw - ext4 /dev/sdb2 rw\n"
              "not a mountinfo line\n");
    dir.write("sys/devices/pci0/ata1/block/sda/removable", "0\n");
    dir.write("sys/devices/pci0/ata1/block/sda/sda2/partition", "2\n");
    dir.write("sys/devices/pci0/usb1/1-1/block/sdb/removable", "0\n");
    dir.write("sys/devices/pci0/usb1/1-1/block/sdb/sdb1/partition", "1\n");
    dir.write("sys/devices/pci0/usb1/1-1/block/sdb/sdb2/partition", "2\n");
    dir.write("sys/devices/pci0/mmc0/block/mmcblk0/removable", "1\n");
    dir.write("sys/devices/pci0/mmc0/block/mmcblk0/mmcblk0p1/partition", "1\n");
    dir.makeFolder("sys/dev/block");
    link("../../devices/pci0/ata1/block/sda/sda2", dir.file("sys/dev/block/8:2"));
    link("../../devices/pci0/usb1/1-1/block/sdb/sdb1", dir.file("sys/dev/block/8:17"));
    link("../../devices/pci0/usb1/1-1/block/sdb/sdb2", dir.file("sys/dev/block/8:18"));
    link("../../devices/pci0/mmc0/block/mmcblk0/mmcblk0p1", dir.file("sys/dev/block/179:1"));
}

} // namespace

TEST(VolumeService, ListsDataVolumesWithTheirFlags)
{
    TempDir dir;
    layOutSystem(dir);
    dir.makeFolder("dev/disk/by-label");
    // The label names the device through a relative link, as udev writes it.
    dir.write("dev/sdb1", "");
    link("../../sdb1", dir.file("dev/disk/by-label/MY\\x20STICK"));

    const VolumeCapacity disk = space(500'000'000'000, 200'000'000'000);
    FixtureVolumes platform(dir, {{"/", disk},
                                  {"/media/ann/MY STICK", space(32'000'000'000, 1'000'000'000)},
                                  {"/run/media/ann/card", space(64'000'000'000, 0)},
                                  {"/mnt/share", space(1'000'000'000'000, 10)},
                                  {"/boot/efi", space(500'000'000, 1)},
                                  {"/Volumes/Backup", space(2'000'000'000'000, 5)}});
    const auto volumes = VolumeService::mountedVolumes(platform);
    std::vector<std::string> paths;
    for (const auto& v : volumes)
        paths.push_back(v.path);
    // No kernel, memory, bind, hidden or unreadable mounts.
    EXPECT_EQ(paths, (std::vector<std::string>{"/", "/media/ann/MY STICK", "/run/media/ann/card", "/mnt/share",
                                               "/Volumes/Backup"}));
    ASSERT_EQ(volumes.size(), 5u);

    const VolumeInfo& root = volumes[0];
    EXPECT_TRUE(root.isRootFileSystem);
    EXPECT_TRUE(root.isInternal);
    EXPECT_FALSE(root.isEjectable);
    EXPECT_EQ(root.totalCapacity, 500'000'000'000);
    EXPECT_EQ(root.availableStrict, 200'000'000'000);
    EXPECT_EQ(root.availableForImportantUsage, 200'000'000'000);
    EXPECT_EQ(root.formatDescription, "ext4");
    EXPECT_EQ(root.name, "File System");   // not its path again

    const VolumeInfo& stick = volumes[1];
    EXPECT_EQ(stick.name, "MY STICK");
    EXPECT_FALSE(stick.isRemovable);   // a USB disk that says it is fixed
    EXPECT_TRUE(stick.isEjectable);
    EXPECT_FALSE(stick.isInternal);

    const VolumeInfo& card = volumes[2];
    EXPECT_TRUE(card.isRemovable);
    EXPECT_TRUE(card.isReadOnly);
    EXPECT_EQ(card.name, "card");
    EXPECT_EQ(card.availableForImportantUsage, 0);

    const VolumeInfo& share = volumes[3];
    EXPECT_FALSE(share.isLocal);
    EXPECT_FALSE(share.isInternal);

    std::vector<std::string> external;
    for (const auto& v : VolumeService::externalVolumes(false, platform))
        external.push_back(v.path);
    EXPECT_EQ(external, (std::vector<std::string>{"/media/ann/MY STICK", "/run/media/ann/card", "/Volumes/Backup"}));
    EXPECT_EQ(VolumeService::externalVolumes(true, platform).size(), 4u);

    // A path inside a volume reports that volume's facts under the path asked about.
    const auto inside = VolumeService::info("/media/ann/MY STICK/photos", platform);
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->path, "/media/ann/MY STICK/photos");
    EXPECT_EQ(inside->name, "MY STICK");
    EXPECT_EQ(inside->totalCapacity, 32'000'000'000);
}

TEST(VolumeService, TellsSubvolumesFromBindMountsAndSecondMounts)
{
    struct Case {
        const char* name;
        const char* mountinfo;
        std::vector<std::string> volumes;
        std::vector<std::string> external;
    };
    const Case cases[] = {
        {"btrfs root with subvolumes, one of them mounted twice, and a folder bound elsewhere",
         "59 1 0:33 /root / rw,relatime shared:1 - btrfs /dev/nvme0n1p3 rw,compress=zstd:1,subvolid=257,subvol=/root\n"
         "95 59 0:33 /home /home rw,relatime shared:49 - btrfs /dev/nvme0n1p3 rw,compress=zstd:1,subvolid=256,subvol=/home\n"
         "96 59 0:33 /@snapshots /.snapshots rw - btrfs /dev/nvme0n1p3 rw,subvolid=260,subvol=/@snapshots\n"
         "97 59 0:33 /home /mnt/home-again rw - btrfs /dev/nvme0n1p3 rw,subvolid=256,subvol=/home\n"
         "98 59 0:33 /home/ann/photos /mnt/photos rw - btrfs /dev/nvme0n1p3 rw,subvolid=256,subvol=/home\n"
         "99 59 0:33 /var/lib/machines /var/lib/machines rw - btrfs /dev/nvme0n1p3 rw,subvolid=270,subvol=/var/lib/machines\n"
         "100 59 8:17 / /media/ann/usb rw - ext4 /dev/sdb1 rw\n",
         {"/", "/home", "/.snapshots", "/media/ann/usb"},
         {"/media/ann/usb"}},
        {"ext4 root with a bind mount and a stick mounted twice",
         "26 1 8:2 / / rw,relatime - ext4 /dev/sda2 rw\n"
         "27 26 8:2 /srv/exports /export rw - ext4 /dev/sda2 rw\n"
         "28 26 8:17 / /media/ann/stick rw - vfat /dev/sdb1 rw\n"
         "29 26 8:17 / /mnt/stick rw - vfat /dev/sdb1 rw\n"
         "30 26 8:33 / /data rw - xfs /dev/sdc1 rw\n"
         "31 26 8:34 / /var rw - xfs /dev/sdc2 rw\n",
         {"/", "/media/ann/stick", "/data", "/var"},
         // A second disk mounted directly in "/" is another volume; /var is the system's own.
         {"/media/ann/stick", "/data"}},
        {"a desktop whose root is an overlay (a live system)",
         "20 1 0:40 / / rw - overlay overlay rw,lowerdir=/run/live/rootfs/filesystem.squashfs,upperdir=/run/live/overlay/rw\n"
         "21 20 7:0 / /run/live/rootfs/filesystem.squashfs ro - squashfs /dev/loop0 ro\n"
         "22 20 0:41 / /tmp rw - tmpfs tmpfs rw\n"
         "23 20 8:17 / /media/user/stick rw - exfat /dev/sdb1 rw\n",
         {"/", "/media/user/stick"},
         {"/media/user/stick"}},
        {"a container: overlay root, a data volume and the files the engine binds in",
         "500 400 0:52 / / rw - overlay overlay rw,lowerdir=/l,upperdir=/u,workdir=/w\n"
         "501 500 0:53 / /proc rw - proc proc rw\n"
         "502 500 0:54 / /dev rw - tmpfs tmpfs rw\n"
         "503 500 254:1 /srv/volumes/db /data rw - ext4 /dev/vda1 rw\n"
         "504 500 254:1 /var/lib/docker/containers/c1/resolv.conf /etc/resolv.conf rw - ext4 /dev/vda1 rw\n"
         "505 500 254:1 /var/lib/docker/containers/c1/hosts /etc/hosts rw - ext4 /dev/vda1 rw\n"
         "506 500 0:60 / /var/lib/docker/overlay2/abc/merged rw - overlay overlay rw\n",
         {"/", "/data"},
         {"/data"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("proc/self/mountinfo", c.mountinfo);
        std::map<std::string, VolumeCapacity> capacities;
        for (const MountEntry& mount : MountTable::parse(c.mountinfo))
            capacities[mount.mountPoint] = space(1'000'000, 500'000);
        FixtureVolumes platform(dir, capacities);
        EXPECT_EQ(pathsOf(VolumeService::mountedVolumes(platform)), c.volumes) << c.name;
        EXPECT_EQ(pathsOf(VolumeService::externalVolumes(false, platform)), c.external) << c.name;
    }
}

TEST(VolumeService, NetworkAndFuseMountsAreNeverAskedWithoutTheNetworkSetting)
{
    TempDir dir;
    layOutSystem(dir);
    FixtureVolumes platform(dir, {{"/", space(500'000'000'000, 200'000'000'000)},
                                  {"/media/ann/MY STICK", space(32'000'000'000, 1'000'000'000)},
                                  {"/mnt/share", space(1'000'000'000'000, 10)},
                                  {"/media/ann/unknown", space(1'000, 10)}});
    EXPECT_EQ(pathsOf(VolumeService::externalVolumes(false, platform)), std::vector<std::string>{"/media/ann/MY STICK"});
    for (const std::string& path : platform.asked) {
        EXPECT_NE(path, "/mnt/share");
        EXPECT_NE(path, "/media/ann/unknown");
    }
    platform.asked.clear();
    EXPECT_EQ(pathsOf(VolumeService::externalVolumes(true, platform)),
              (std::vector<std::string>{"/media/ann/MY STICK", "/mnt/share", "/media/ann/unknown"}));
}

TEST(VolumeService, BlocksKeptForTheAdministratorAreNeitherUsedNorAvailable)
{
    TempDir dir;
    layOutSystem(dir);
    // df: 270 GB of blocks, 248 GB of them free, 80 GB of those for this user.
    const VolumeCapacity reserved = space(270'000'000'000, 80'000'000'000, 248'000'000'000);
    const VolumeCapacity full = space(1'000, 0, 50);   // only the reserve is left
    const VolumeCapacity plain = space(1'000, 400, 400);
    struct Case {
        const char* name;
        VolumeCapacity capacity;
        std::int64_t total, used, available;
        double share;
    } cases[] = {
        // df: Size 270 GB, Used 22 GB, Avail 80 GB, Use% 22.
        {"a large reserve", reserved, 270'000'000'000, 22'000'000'000, 80'000'000'000, 22.0 / 102.0},
        {"only the reserve left", full, 1'000, 950, 0, 1.0},
        {"no reserve", plain, 1'000, 600, 400, 0.6},
        {"the free blocks unknown", space(1'000, 400), 1'000, 600, 400, 0.6},
        // Figures read while others write: free below available, available beyond the size.
        {"free below available", space(1'000, 400, 300), 1'000, 600, 400, 0.6},
        {"available beyond the size", space(1'000, 1'200, 1'300), 1'000, 0, 1'000, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureVolumes platform(dir, {{"/", c.capacity}});
        const auto root = VolumeService::info("/", platform);
        ASSERT_TRUE(root);
        EXPECT_EQ(root->totalCapacity, c.total);
        EXPECT_EQ(root->usedCapacity, c.used);
        EXPECT_EQ(root->availableStrict, c.available);
        EXPECT_EQ(root->availableForImportantUsage, c.available);
        EXPECT_DOUBLE_EQ(root->usedShare(), c.share);
    }
    // The mounted-volume list carries the same figures.
    const auto listed = VolumeService::mountedVolumes(FixtureVolumes(dir, {{"/", reserved}}));
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.front().totalCapacity, 270'000'000'000);
    EXPECT_EQ(listed.front().usedCapacity, 22'000'000'000);

    // The dashboard's "System & Unscanned": used space the index does not hold, not the reserve.
    StorageSummary summary;
    summary.volume = VolumeService::info("/", FixtureVolumes(dir, {{"/", reserved}}));
    summary.totals.allocatedBytes = 20'000'000'000;
    summary.categories = {{StorageCategory::documents, 20'000'000'000, 10}};
    EXPECT_EQ(summary.unattributedBytes(), 2'000'000'000);
}

TEST(VolumeService, LeavesOutVolumesWithoutCapacity)
{
    TempDir dir;
    layOutSystem(dir);
    FixtureVolumes platform(dir, {{"/", space(0, 0)}, {"/mnt/share", space(-5, 0)}});
    EXPECT_FALSE(VolumeService::info("/", platform));
    EXPECT_TRUE(VolumeService::mountedVolumes(platform).empty());
}

TEST(VolumeService, RootFiguresAgreeWithDf)
{
    const auto root = VolumeService::info("/");
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->isRootFileSystem);
    std::unique_ptr<FILE, decltype(&::pclose)> df(::popen("df -B1 --output=size,used,avail / 2>/dev/null", "r"),
                                                  &::pclose);
    if (!df)
        GTEST_SKIP() << "df is not available";
    char buffer[512] = {};
    std::string output;
    while (std::fgets(buffer, sizeof buffer, df.get()))
        output += buffer;
    std::istringstream lines(output);
    std::string header;
    std::getline(lines, header);
    std::int64_t size = 0, used = 0, avail = 0;
    if (!(lines >> size >> used >> avail))
        GTEST_SKIP() << "unexpected df output: " << output;
    EXPECT_EQ(root->totalCapacity, size);
    // Other processes write meanwhile; the figures may move a little.
    EXPECT_NEAR(static_cast<double>(root->usedCapacity), static_cast<double>(used), 256.0 * 1024 * 1024);
    EXPECT_NEAR(static_cast<double>(root->availableStrict), static_cast<double>(avail), 256.0 * 1024 * 1024);
}

TEST(KnownLocation, StandardRowsFollowTheHomeFolder)
{
    const auto rows = KnownLocation::standard("/home/alice", {});
    ASSERT_GE(rows.size(), 12u);
    EXPECT_EQ(rows[2].path, "/home/alice/Downloads");
    EXPECT_EQ(rows[2].category, StorageCategory::downloads);
    EXPECT_FALSE(rows[8].category);
    const auto other = KnownLocation::standard("/home/bob", {});
    for (const std::size_t fixed : {0u, 9u, 10u, 11u})
        EXPECT_EQ(rows[fixed], other[fixed]) << fixed;
    std::unordered_set<std::string> ids;
    for (const auto& row : rows)
        ids.insert(row.id());
    EXPECT_EQ(ids.size(), rows.size());
    KnownLocation renamed = rows[0];
    renamed.symbolName = "x";
    EXPECT_NE(renamed, rows[0]);
    EXPECT_EQ(renamed.id(), rows[0].id());
}

TEST(KnownLocation, LinuxPlacesFollowTheMacOSRows)
{
    ScopedEnvironment data("XDG_DATA_HOME", "/home/alice/.data");
    const std::vector<XdgUserDirs::Folder> folders = {
        {"DOWNLOAD", "/home/alice/Downloads"},        // the macOS row already names it
        {"VIDEOS", "/home/alice/Vidéos"},
        {"DOCUMENTS", "/home/alice/Dokumente"},
        {"TEMPLATES", "/home/alice/Vorlagen"},
        {"SOMETHING", "/home/alice/Other"},          // no place xdg-user-dirs names
    };
    const auto rows = KnownLocation::standard("/home/alice", folders);
    const auto macOS = KnownLocation::standard("/home/alice", {});
    ASSERT_GT(rows.size(), 12u);
    for (std::size_t row = 0; row < 12; ++row)
        EXPECT_EQ(rows[row], macOS[row]) << row;
    std::vector<std::pair<std::string, std::string>> linux;
    for (std::size_t row = 12; row < rows.size(); ++row)
        linux.emplace_back(rows[row].name, rows[row].path);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Documents", "/home/alice/Dokumente"},
        {"Videos", "/home/alice/Vidéos"},
        {"Templates", "/home/alice/Vorlagen"},
        {"Caches", "/home/alice/.cache"},
        {"Trash", "/home/alice/.data/Trash"},
        {"Application Data", "/home/alice/.local/share"},
        {"System Programs", "/usr"},
        {"Optional Software", "/opt"},
        {"System Logs", "/var/log"},
        {"System Caches", "/var/cache"},
        {"Docker", "/var/lib/docker"},
        {"Containers", "/var/lib/containers"},
        {"Containers (User)", "/home/alice/.local/share/containers"},
        {"Flatpak", "/var/lib/flatpak"},
        {"Snap", "/var/lib/snapd"},
    };
    EXPECT_EQ(linux, expected);
    EXPECT_EQ(rows[13].category, StorageCategory::videos);
    EXPECT_EQ(rows[16].category, StorageCategory::trash);
    std::unordered_set<std::string> ids;
    for (const auto& row : rows)
        EXPECT_TRUE(ids.insert(row.id()).second) << row.path;
}

TEST(XdgUserDirs, ReadsTheFoldersAsXdgUserDirsWritesThem)
{
    const std::string text = "# This file is written by xdg-user-dirs-update\n"
                             "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                             "XDG_DOWNLOAD_DIR=\"$HOME/T\u00e9l\u00e9chargements\"\n"
                             "  XDG_TEMPLATES_DIR = \"$HOME/\"\n"          // turned off: the home itself
                             "XDG_PUBLICSHARE_DIR=\"/srv/public\"\n"
                             "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n"
                             "XDG_MUSIC_DIR=$HOME/Music\n"                   // unquoted: not the file's shape
                             "XDG_PICTURES_DIR=\"relative/Pictures\"\n"
                             "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n"
                             "XDG_VIDEOS_DIR=\"$HOME/Films\"\n"            // a later line wins
                             "XDG_DIR=\"$HOME/x\"\n";
    const std::vector<XdgUserDirs::Folder> expected = {
        {"DESKTOP", "/home/ann/Desktop"},
        {"DOWNLOAD", "/home/ann/T\u00e9l\u00e9chargements"},
        {"PUBLICSHARE", "/srv/public"},
        {"DOCUMENTS", "/home/ann/My \"Docs\""},
        {"VIDEOS", "/home/ann/Films"},
    };
    EXPECT_EQ(XdgUserDirs::parse(text, "/home/ann"), expected);

    TempDir dir;
    dir.write("config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Musik\"\n");
    dir.write("home/.config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Other\"\n");
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", dir.file("config"));
        EXPECT_EQ(XdgUserDirs::read(dir.file("home")),
                  (std::vector<XdgUserDirs::Folder>{{"MUSIC", dir.file("home") + "/Musik"}}));
    }
    ScopedEnvironment relative("XDG_CONFIG_HOME", "config");   // not absolute: ignored
    EXPECT_EQ(XdgUserDirs::read(dir.file("home")),
              (std::vector<XdgUserDirs::Folder>{{"MUSIC", dir.file("home") + "/Other"}}));
    // Without the file the account has the folders xdg-user-dirs would have made.
    const std::vector<XdgUserDirs::Folder> defaults = XdgUserDirs::read(dir.file("nobody"));
    ASSERT_EQ(defaults.size(), 8u);
    EXPECT_EQ(defaults.back(), (XdgUserDirs::Folder{.key = "VIDEOS", .path = dir.file("nobody") + "/Videos"}));
    const auto videos = KnownLocation::standard(dir.file("nobody"), defaults);
    EXPECT_TRUE(std::any_of(videos.begin(), videos.end(), [&](const KnownLocation& row) {
        return row.name == "Videos" && row.path == dir.file("nobody") + "/Videos" && row.category == StorageCategory::videos;
    }));
}
