#include "analysis/FileDetailsLoader.h"

#include "analysis/TextCase.h"
#include "platform/Accounts.h"
#include "platform/FileTypeDescriber.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/SecurityUtils.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace FileDetailsLoader {

namespace {

double seconds(const statx_timestamp& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

std::optional<std::string> linkDestination(const std::string& path)
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

std::string posixString(std::uint16_t mode)
{
    static constexpr char letters[] = "rwxrwxrwx";
    std::string text(9, '-');
    for (int position = 0; position < 9; ++position)
        if (mode & (0400 >> position))
            text[static_cast<std::size_t>(position)] = letters[position];
    return text;
}

std::string typeDescription(const std::string& extension, const FileTypeDescriber& types)
{
    if (extension.empty())
        return "Document";
    if (auto description = types.describeExtension(extension))
        return *description;
    return TextCase::uppercased(extension) + " file";
}

FileDetails load(const std::string& path, const FileTypeDescriber& types)
{
    FileDetails details;
    struct stat target{};
    const auto destination = linkDestination(path);
    // A link whose target is gone still exists.
    details.exists = ::stat(path.c_str(), &target) == 0 || destination.has_value();

    // Facts of the item itself, a symbolic link as the link.
    struct statx item{};
    const unsigned wanted = STATX_BASIC_STATS | STATX_BTIME;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, wanted, &item) == 0) {
        if (auto type = types.describeFile(path)) {
            details.typeDescription = type->description;
            details.typeIdentifier = type->identifier;
        }
        if (item.stx_mask & STATX_BTIME)
            details.created = seconds(item.stx_btime);
        details.modified = seconds(item.stx_mtime);
        details.accessed = seconds(item.stx_atime);
        if (!S_ISDIR(item.stx_mode)) {
            details.logicalSize = static_cast<std::int64_t>(item.stx_size);
            details.allocatedSize = static_cast<std::int64_t>(item.stx_blocks) * 512;
        }
        details.isSymlink = S_ISLNK(item.stx_mode);

        const unsigned permissions = item.stx_mode & 07777;
        char octal[16];
        std::snprintf(octal, sizeof octal, " (%o)", permissions);
        details.posixPermissions = posixString(static_cast<std::uint16_t>(permissions)) + octal;
        details.owner = Accounts::userName(item.stx_uid);
        details.group = Accounts::groupName(item.stx_gid);
    }
    details.symlinkDestination = destination;
    details.isHidden = Paths::lastComponent(path).rfind('.', 0) == 0;
    // No aliases or packages here: links are links, and a folder is always a folder.
    details.isAlias = false;
    details.isPackage = false;
    details.safety = SecurityUtils::evaluate(path, SystemPaths::homeDirectory(), SecurityUtils::appOwnedPaths(), true);
    return details;
}

} // namespace FileDetailsLoader
