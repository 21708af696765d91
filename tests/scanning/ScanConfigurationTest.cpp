#include "scanning/ScanConfiguration.h"
#include "scanning/ScanCounters.h"
#include "platform/LinuxSystemPlaces.h"
#include "platform/MountTable.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"
#include "support/ScriptedFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace {

// Answers realpath for made-up roots; two spellings name one folder when they
// share an inode, as on a case-insensitive volume.
class RootsFileSystem : public FileSystem {
public:
    std::optional<std::string> realPath(const std::string& path) const override
    {
        if (const auto found = resolved.find(path); found != resolved.end())
            return found->second;
        return std::nullopt;
    }
    int linkStatus(const std::string& path, FileStatus& status) const override
    {
        const auto found = inodes.find(path);
        if (found == inodes.end())
            return ENOENT;
        status = FileStatus{};
        status.mode = 0040755;
        status.inode = found->second;
        if (const auto device = devices.find(path); device != devices.end())
            status.device = device->second;
        return 0;
    }
    std::map<std::string, std::string> resolved;
    std::map<std::string, std::uint64_t> inodes;
    std::map<std::string, std::uint64_t> devices;   // 0 when not listed
};

} // namespace

TEST(ScanConfiguration, RootsAreResolvedFoldedAndFreedOfOverlaps)
{
    RootsFileSystem fileSystem;
    for (const char* path : {"/", "/Users", "/Users/ann/Documents", "/UsersX", "/opt", "/data", "/Data", "/Data/sub",
                             "/Vol", "/vol", "/vol/x", "/Other/a", "/media", "/media/ann", "/media/ann/USB",
                             "/media/ann/USB/sub", "/media/ann/same", "/mnt", "/mnt/disk", "/mnt/disk/deep"})
        fileSystem.resolved[path] = path;
    fileSystem.resolved["/System/Volumes/Data/opt"] = "/System/Volumes/Data/opt";
    fileSystem.resolved["/link"] = "/Users";
    // "/Vol" and "/vol" are one folder; "/data" and "/Data" are two.
    fileSystem.inodes = {{"/Vol", 7}, {"/vol", 7}, {"/data", 1}, {"/Data", 2}, {"/Data/sub", 3}, {"/", 2},
                         {"/media", 10}, {"/media/ann", 11}, {"/media/ann/USB", 2}, {"/media/ann/USB/sub", 12},
                         {"/media/ann/same", 13}, {"/mnt", 14}, {"/mnt/disk", 2}, {"/mnt/disk/deep", 15}};
    // A volume at /media/ann/USB and another at /mnt/disk; the rest lies on the root's device.
    fileSystem.devices = {{"/media/ann/USB", 8}, {"/media/ann/USB/sub", 8}, {"/mnt/disk", 9}, {"/mnt/disk/deep", 9}};

    using Roots = std::vector<std::string>;
    struct Case { Roots roots; Roots expected; };
    const Case cases[] = {
        {{"/Users", "/Users/ann/Documents"}, {"/Users"}},
        {{"/Users/ann/Documents", "/Users"}, {"/Users"}},
        {{"/opt", "/", "/Users"}, {"/"}},
        {{"/Users", "/Users", "/link"}, {"/Users"}},
        {{"/Users", "/missing"}, {"/Users"}},
        {{"/Users", "/UsersX"}, {"/Users", "/UsersX"}},
        {{"/System/Volumes/Data/opt", "/opt"}, {"/opt"}},
        {{"/data", "/Data"}, {"/data", "/Data"}},
        {{"/data", "/Data/sub"}, {"/data", "/Data/sub"}},
        {{"/Vol", "/vol"}, {"/Vol"}},
        {{"/vol", "/Vol"}, {"/vol"}},
        {{"/Vol", "/vol/x"}, {"/Vol"}},
        {{"/media", "/media/ann/USB"}, {"/media", "/media/ann/USB"}},
        {{"/", "/media/ann/USB"}, {"/", "/media/ann/USB"}},
        {{"/media/ann/USB", "/media"}, {"/media/ann/USB", "/media"}},
        {{"/media", "/media/ann/same"}, {"/media"}},
        {{"/media/ann/USB", "/media/ann/USB/sub"}, {"/media/ann/USB"}},
        {{"/mnt", "/mnt/disk/deep"}, {"/mnt", "/mnt/disk/deep"}},
    };
    for (const auto& c : cases) {
        const ScanConfiguration configuration{.roots = c.roots, .maxConcurrency = 1, .homeDirectory = "/Users/ann"};
        EXPECT_EQ(configuration.normalizedRoots(fileSystem), c.expected) << c.roots.front() << " " << c.roots.back();
    }
}

namespace {

const std::vector<std::string> fixedSystemRoots{"/System", "/usr", "/bin", "/sbin", "/private", "/cores"};

std::vector<std::string> withFixed(std::vector<std::string> added)
{
    std::vector<std::string> all = fixedSystemRoots;
    all.insert(all.end(), added.begin(), added.end());
    return all;
}

} // namespace

TEST(ScanConfiguration, SystemRootsAreTheFoldersOfTheRootExceptKernelFileSystemsAndOtherVolumes)
{
    ScopedEnvironment home("HOME", "/home/ada");
    const std::vector<std::string> topLevel{"boot", "data", "dev", "etc", "home", "lost+found", "media", "mnt", "nfs",
                                            "opt", "proc", "root", "run", "share", "srv", "sys", "tmp", "usr", "var", "www"};
    struct Case {
        const char* name;
        const char* mountinfo;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"ext4 root with a boot partition, a second disk, a share, a bind mount and memory file systems",
         "22 27 0:21 / /proc rw - proc proc rw\n"
         "23 27 0:22 / /sys rw - sysfs sysfs rw\n"
         "24 27 0:6 / /dev rw - devtmpfs devtmpfs rw\n"
         "27 1 8:2 / / rw,relatime - ext4 /dev/sda2 rw\n"
         "28 27 0:25 / /run rw - tmpfs tmpfs rw\n"
         "29 27 0:26 / /tmp rw - tmpfs tmpfs rw\n"
         "30 27 8:1 / /boot rw - ext4 /dev/sda1 rw\n"
         "31 27 8:17 / /data rw - ext4 /dev/sdb1 rw\n"
         "32 27 0:50 / /nfs rw - nfs4 server:/export rw\n"
         "33 27 8:2 /var/www /www rw - ext4 /dev/sda2 rw\n"
         "34 27 8:18 / /srv rw - xfs /dev/sdb2 rw\n"
         "35 27 0:51 / /share rw - fuse.sshfs user@host:/ rw\n",
         // /boot and /srv are system places on disks of their own; /data is another volume.
         withFixed({"/boot", "/etc", "/lost+found", "/media", "/mnt", "/root", "/srv", "/var"})},
        {"btrfs root with its subvolumes mounted in /",
         "60 1 0:33 /@/.snapshots/1/snapshot / rw - btrfs /dev/nvme0n1p2 rw,subvolid=266,subvol=/@/.snapshots/1/snapshot\n"
         "61 60 0:33 /@/var /var rw - btrfs /dev/nvme0n1p2 rw,subvolid=258,subvol=/@/var\n"
         "62 60 0:33 /@/root /root rw - btrfs /dev/nvme0n1p2 rw,subvolid=259,subvol=/@/root\n"
         "63 60 0:33 /@/srv /srv rw - btrfs /dev/nvme0n1p2 rw,subvolid=260,subvol=/@/srv\n"
         "64 60 0:33 /@/home /home rw - btrfs /dev/nvme0n1p2 rw,subvolid=261,subvol=/@/home\n"
         "65 60 0:33 /@/opt /opt rw - btrfs /dev/nvme0n1p2 rw,subvolid=262,subvol=/@/opt\n"
         "66 60 0:33 /@/home/ada/www /www rw - btrfs /dev/nvme0n1p2 rw,subvolid=261,subvol=/@/home\n"
         "67 60 0:44 / /data rw - btrfs /dev/sdb1 rw,subvolid=5,subvol=/\n"
         "68 60 0:22 / /proc rw - proc proc rw\n",
         // A folder of the home bound to /www is scanned where it lives.
         withFixed({"/boot", "/dev", "/etc", "/lost+found", "/media", "/mnt", "/nfs", "/root", "/run", "/share",
                    "/srv", "/sys", "/tmp", "/var"})},
        {"container on an overlay root",
         "500 400 0:52 / / rw - overlay overlay rw,lowerdir=/l,upperdir=/u,workdir=/w\n"
         "501 500 0:53 / /proc rw - proc proc rw\n"
         "502 500 0:54 / /dev rw - tmpfs tmpfs rw\n"
         "503 500 0:55 / /sys ro - sysfs sysfs ro\n"
         "504 500 254:1 /srv/volumes/db /data rw - ext4 /dev/vda1 rw\n"
         "505 500 254:1 /var/lib/docker/containers/c1/hostname /etc/hostname rw - ext4 /dev/vda1 rw\n",
         withFixed({"/boot", "/etc", "/lost+found", "/media", "/mnt", "/nfs", "/root", "/run", "/share", "/srv",
                    "/tmp", "/var", "/www"})},
    };
    for (const Case& c : cases) {
        std::vector<std::string> roots = ScanConfiguration::systemRoots(MountTable::parse(c.mountinfo), topLevel);
        EXPECT_EQ(roots, c.expected) << c.name;
    }
}

TEST(ScanConfiguration, TheRootsOfThisMachineReachVarAndEtcButNoKernelFileSystem)
{
    const std::vector<std::string> roots = ScanConfiguration::systemRoots();
    const auto has = [&](const std::string& path) { return std::find(roots.begin(), roots.end(), path) != roots.end(); };
    for (const std::string path : {"/var", "/etc"}) {
        if (std::filesystem::is_directory(std::filesystem::symlink_status(path))) {
            EXPECT_TRUE(has(path)) << path;
        }
    }
    for (const MountEntry& mount : MountTable::read()) {
        if (mount.mountPoint.find('/', 1) == std::string::npos && MountTable::isPseudoFileSystem(mount.fileSystemType)) {
            EXPECT_FALSE(has(mount.mountPoint)) << mount.mountPoint << " " << mount.fileSystemType;
        }
    }
}

TEST(LinuxSystemPlaces, TopLevelFoldersAreRealFoldersInNameOrder)
{
    TempDir root;
    root.makeFolder("var");
    root.makeFolder("etc");
    root.write("swap.img", "x");
    root.makeFolder("usr/bin");
    ASSERT_EQ(::symlink("usr/bin", root.file("bin").c_str()), 0);
    EXPECT_EQ(LinuxSystemPlaces::topLevelFolders({}, root.path()), (std::vector<std::string>{"etc", "usr", "var"}));
    EXPECT_TRUE(LinuxSystemPlaces::topLevelFolders({}, root.file("missing")).empty());
}
