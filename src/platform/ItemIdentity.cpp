#include "platform/ItemIdentity.h"

#include <sys/stat.h>

std::optional<ItemIdentity> ItemIdentity::at(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return std::nullopt;
    const Kind kind = S_ISDIR(status.st_mode) ? Kind::folder : S_ISLNK(status.st_mode) ? Kind::symbolicLink : Kind::file;
    return ItemIdentity{.kind = kind,
                        .inode = static_cast<std::uint64_t>(status.st_ino),
                        .device = static_cast<std::uint64_t>(status.st_dev)};
}
