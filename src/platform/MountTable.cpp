#include "platform/MountTable.h"

#include "platform/ProcText.h"

#include <algorithm>
#include <array>

namespace MountTable {

namespace {

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> result;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            result.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return result;
}

std::string decoded(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto isOctal = [&](std::size_t j) { return j < text.size() && text[j] >= '0' && text[j] <= '7'; };
        if (text[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            result += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
            i += 3;
        } else {
            result += text[i];
        }
    }
    return result;
}

bool hasOption(std::string_view options, std::string_view option)
{
    std::size_t at = 0;
    while (at <= options.size()) {
        const std::size_t end = std::min(options.find(',', at), options.size());
        if (options.substr(at, end - at) == option)
            return true;
        at = end + 1;
    }
    return false;
}

bool parseDevice(std::string_view text, unsigned& major, unsigned& minor)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    try {
        major = static_cast<unsigned>(std::stoul(std::string(text.substr(0, colon))));
        minor = static_cast<unsigned>(std::stoul(std::string(text.substr(colon + 1))));
    } catch (...) {
        return false;
    }
    return true;
}

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& table, std::string_view value)
{
    return std::find(table.begin(), table.end(), value) != table.end();
}

} // namespace

std::vector<MountEntry> parse(std::string_view mountinfo)
{
    // id parent major:minor root mount-point options [optional fields...] - type source super-options
    std::vector<MountEntry> entries;
    std::size_t at = 0;
    while (at < mountinfo.size()) {
        const std::size_t end = std::min(mountinfo.find('\n', at), mountinfo.size());
        const auto parts = fields(mountinfo.substr(at, end - at));
        at = end + 1;

        const auto separator = std::find(parts.begin(), parts.end(), "-");
        if (parts.size() < 6 || separator == parts.end() || separator - parts.begin() < 6 || parts.end() - separator < 3)
            continue;
        MountEntry entry;
        if (!parseDevice(parts[2], entry.major, entry.minor))
            continue;
        entry.root = decoded(parts[3]);
        entry.mountPoint = decoded(parts[4]);
        entry.readOnly = hasOption(parts[5], "ro");
        entry.fileSystemType = decoded(separator[1]);
        entry.source = decoded(separator[2]);
        if (parts.end() - separator > 3)
            entry.superOptions = decoded(separator[3]);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<MountEntry> read(const std::string& path)
{
    const auto text = ProcText::readFile(path);
    return text ? parse(*text) : std::vector<MountEntry>{};
}

bool isPseudoFileSystem(std::string_view type)
{
    static constexpr std::array<std::string_view, 29> pseudo{
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "cgroup", "cgroup2", "securityfs", "pstore",
        "bpf", "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "autofs", "binfmt_misc",
        "rpc_pipefs", "nsfs", "efivarfs", "selinuxfs", "nfsd", "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs",
        "fuse.snapfuse", "squashfs",
    };
    return contains(pseudo, type);
}

bool isNetworkFileSystem(std::string_view type)
{
    static constexpr std::array<std::string_view, 18> network{
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs", "lustre", "gpfs",
        "davfs", "fuse.sshfs", "fuse.rclone", "fuse.davfs2", "fuse.glusterfs", "fuse.s3fs",
    };
    return contains(network, type);
}

bool mayNotAnswer(const MountEntry& mount)
{
    const std::string_view type = mount.fileSystemType;
    return isNetworkFileSystem(type) || type == "fuse" || type.starts_with("fuse.");
}

namespace {

std::string_view optionValue(std::string_view options, std::string_view key)
{
    std::size_t at = 0;
    while (at <= options.size()) {
        const std::size_t end = std::min(options.find(',', at), options.size());
        const std::string_view option = options.substr(at, end - at);
        if (option.size() > key.size() && option.starts_with(key) && option[key.size()] == '=')
            return option.substr(key.size() + 1);
        at = end + 1;
    }
    return {};
}

} // namespace

bool showsWholeFileSystem(const MountEntry& mount)
{
    if (mount.root == "/")
        return true;
    // btrfs names the subvolume of the mount's top; a bind mount of a folder inside it has a longer root.
    return mount.fileSystemType == "btrfs" && optionValue(mount.superOptions, "subvol") == mount.root;
}

bool repeats(const MountEntry& later, const MountEntry& earlier)
{
    if (later.major != earlier.major || later.minor != earlier.minor)
        return false;
    return later.root == earlier.root || !showsWholeFileSystem(later);
}

bool sameFileSystem(const MountEntry& a, const MountEntry& b)
{
    return a.fileSystemType == b.fileSystemType && a.source == b.source &&
           ((a.major == b.major && a.minor == b.minor) || a.source.starts_with("/dev/"));
}

const MountEntry* visibleAt(const std::vector<MountEntry>& mounts, std::string_view mountPoint)
{
    const MountEntry* visible = nullptr;
    for (const MountEntry& mount : mounts)
        if (mount.mountPoint == mountPoint)
            visible = &mount;
    return visible;
}

} // namespace MountTable
