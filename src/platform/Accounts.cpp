#include "platform/Accounts.h"

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace Accounts {

namespace {

// Calls a reentrant account lookup with a buffer that grows while the entry does not fit.
template <class Entry, class Lookup>
std::optional<std::string> lookUpName(Lookup lookup, char* Entry::*nameField, int sizeHint)
{
    const long hint = ::sysconf(sizeHint);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
    Entry entry{};
    Entry* found = nullptr;
    while (lookup(&entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found || !(found->*nameField))
        return std::nullopt;
    return std::string(found->*nameField);
}

} // namespace

std::optional<std::string> userName(std::uint32_t uid)
{
    return lookUpName<passwd>(
        [uid](passwd* entry, char* buffer, std::size_t size, passwd** found) {
            return ::getpwuid_r(uid, entry, buffer, size, found);
        },
        &passwd::pw_name, _SC_GETPW_R_SIZE_MAX);
}

std::optional<std::string> homeFolder(std::uint32_t uid)
{
    return lookUpName<passwd>(
        [uid](passwd* entry, char* buffer, std::size_t size, passwd** found) {
            return ::getpwuid_r(uid, entry, buffer, size, found);
        },
        &passwd::pw_dir, _SC_GETPW_R_SIZE_MAX);
}

std::optional<std::string> groupName(std::uint32_t gid)
{
    return lookUpName<group>(
        [gid](group* entry, char* buffer, std::size_t size, group** found) {
            return ::getgrgid_r(gid, entry, buffer, size, found);
        },
        &group::gr_name, _SC_GETGR_R_SIZE_MAX);
}

} // namespace Accounts
