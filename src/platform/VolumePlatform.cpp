#include "platform/VolumePlatform.h"

#include "platform/RegularFile.h"

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <limits.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

std::optional<std::string> realPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved)
        return std::nullopt;
    return std::string(resolved.get());
}

bool attributeIsOne(const std::string& path)
{
    const auto value = RegularFile::read(path, 64);
    return value && (*value == "1" || value->starts_with("1\n"));
}

bool fileExists(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

// udev writes unsafe label characters as \xHH.
std::string unescapedLabel(const std::string& name)
{
    std::string result;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            result += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            result += name[i];
        }
    }
    return result;
}

} // namespace

VolumePlatform::VolumePlatform(std::string mountinfoPath, std::string sysRoot, std::string devParent)
    : mountinfoPath_(std::move(mountinfoPath)), sysRoot_(std::move(sysRoot)), devParent_(std::move(devParent))
{
}

std::vector<MountEntry> VolumePlatform::mounts() const
{
    return MountTable::read(mountinfoPath_);
}

std::optional<VolumeCapacity> VolumePlatform::capacity(const std::string& path) const
{
    struct statvfs info{};
    if (::statvfs(path.c_str(), &info) != 0)
        return std::nullopt;
    const auto unit = static_cast<std::int64_t>(info.f_frsize ? info.f_frsize : info.f_bsize);
    VolumeCapacity result;
    result.total = static_cast<std::int64_t>(info.f_blocks) * unit;
    result.available = static_cast<std::int64_t>(info.f_bavail) * unit;
    result.free = static_cast<std::int64_t>(info.f_bfree) * unit;
    result.readOnly = (info.f_flag & ST_RDONLY) != 0;
    return result;
}

BlockDeviceFacts VolumePlatform::blockDevice(unsigned major, unsigned minor) const
{
    BlockDeviceFacts facts;
    const auto device = realPath(sysRoot_ + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
    if (!device)
        return facts;
    // A partition carries no "removable" attribute of its own; its disk is the folder above.
    std::string disk = *device;
    if (fileExists(disk + "/partition"))
        disk = disk.substr(0, disk.rfind('/'));
    facts.removable = attributeIsOne(disk + "/removable");
    facts.onUsb = device->find("/usb") != std::string::npos;
    return facts;
}

std::optional<std::string> VolumePlatform::label(const std::string& source) const
{
    if (source.rfind("/dev/", 0) != 0)
        return std::nullopt;
    const auto device = realPath(devParent_ + source);
    if (!device)
        return std::nullopt;
    const std::string labels = devParent_ + "/dev/disk/by-label";
    struct CloseFolder {
        void operator()(DIR* folder) const { ::closedir(folder); }
    };
    std::unique_ptr<DIR, CloseFolder> folder(::opendir(labels.c_str()));
    if (!folder)
        return std::nullopt;
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (realPath(labels + "/" + name) == device)
            return unescapedLabel(name);
    }
    return std::nullopt;
}

const VolumePlatform& VolumePlatform::standard()
{
    static const VolumePlatform instance;
    return instance;
}
