#include "scanning/DirectoryReader.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <sys/stat.h>

namespace {

RawDirectoryEntry::Kind kindOf(std::uint32_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG:
        return RawDirectoryEntry::Kind::file;
    case S_IFDIR:
        return RawDirectoryEntry::Kind::directory;
    case S_IFLNK:
        return RawDirectoryEntry::Kind::symlink;
    default:
        return RawDirectoryEntry::Kind::other;
    }
}

void fill(RawDirectoryEntry& entry, const FileStatus& status)
{
    entry.kind = kindOf(status.mode);
    entry.size = status.size;
    entry.allocatedSize = status.blocks * 512;
    entry.modified = status.modified;
    entry.created = status.created;
    entry.accessed = status.accessed;
    entry.linkCount = status.linkCount;
    entry.inode = status.inode;
    entry.device = status.device;
    entry.isMountRoot = status.isMountRoot;
}

// Length of the well-formed UTF-8 sequence at `i`, or 0 with `bad` set to the
// length of the maximal ill-formed prefix to replace by one U+FFFD.
size_t sequenceLength(std::string_view s, size_t i, size_t& bad)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    bad = 1;
    if (lead < 0x80)
        return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if (i + k >= s.size())
            return 0;
        const unsigned char next = byte(i + k);
        const unsigned char min = k == 1 ? low : 0x80;
        const unsigned char max = k == 1 ? high : 0xBF;
        if (next < min || next > max)
            return 0;
        bad = k + 1;
    }
    return length;
}

// The bytes of `name` that are no part of a well-formed UTF-8 sequence, in hexadecimal.
std::string replacedBytes(std::string_view name)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < name.size();) {
        size_t bad = 0;
        if (const size_t length = sequenceLength(name, i, bad)) {
            i += length;
            continue;
        }
        for (const size_t end = i + bad; i < end; ++i) {
            const auto byte = static_cast<unsigned char>(name[i]);
            if (!text.empty())
                text += ' ';
            text += digits[byte >> 4];
            text += digits[byte & 0xf];
        }
    }
    return text;
}

} // namespace

void DirectoryReader::keepRepairedNamesDistinct(const std::vector<ListedName>& names)
{
    std::vector<const ListedName*> order;
    order.reserve(names.size());
    for (const ListedName& listed : names)
        order.push_back(&listed);
    // Of one name, its own bytes first, then by bytes: the order does not depend on the listing.
    const auto ownBytes = [](const ListedName* listed) { return listed->diskName == *listed->name; };
    std::sort(order.begin(), order.end(), [&](const ListedName* a, const ListedName* b) {
        if (*a->name != *b->name)
            return *a->name < *b->name;
        if (ownBytes(a) != ownBytes(b))
            return ownBytes(a);
        return a->diskName < b->diskName;
    });
    std::set<std::string> taken;
    for (const ListedName& listed : names)
        taken.insert(*listed.name);
    for (size_t first = 0, next = 0; first < order.size(); first = next) {
        const std::string shared = *order[first]->name;
        for (next = first + 1; next < order.size() && *order[next]->name == shared; ++next) {
            std::string distinct = shared;
            const std::string suffix = " (" + replacedBytes(order[next]->diskName) + ")";
            do
                distinct += suffix;
            while (!taken.insert(distinct).second);
            *order[next]->name = std::move(distinct);
        }
    }
}

DirectoryReader::DirectoryReader() : fileSystem_(&FileSystem::standard()) {}

std::string DirectoryReader::decodedName(std::string_view bytes, bool& valid)
{
    std::string name;
    decodeName(bytes, valid, name);
    return name;
}

void DirectoryReader::decodeName(std::string_view bytes, bool& valid, std::string& name)
{
    // Most names are plain ASCII, which needs no decoding and cannot hold U+FFFD.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        valid = true;
        name.assign(bytes);
        return;
    }
    name = decodedUTF8(bytes, valid);
}

std::string DirectoryReader::decodedUTF8(std::string_view bytes, bool& valid)
{
    valid = true;
    size_t i = 0;
    while (i < bytes.size()) {
        size_t bad = 0;
        const size_t length = sequenceLength(bytes, i, bad);
        if (length == 0)
            break;
        i += length;
    }
    if (i == bytes.size()) {
        valid = bytes.find(DirectoryReader::replacementCharacter) == std::string_view::npos;
        return std::string(bytes);
    }
    valid = false;
    std::string result(bytes.substr(0, i));
    while (i < bytes.size()) {
        size_t bad = 0;
        const size_t length = sequenceLength(bytes, i, bad);
        if (length) {
            result.append(bytes.substr(i, length));
            i += length;
        } else {
            result.append(DirectoryReader::replacementCharacter);
            i += bad;
        }
    }
    return result;
}

FileSystem::EntryVisitor DirectoryReader::entryVisitor(const Visitor& visit, RawDirectoryEntry& entry)
{
    return [&visit, &entry](std::string_view name, const FileStatus& status) {
        decodeName(name, entry.hasValidName, entry.name);
        if (entry.hasValidName)
            entry.diskName.clear();
        else
            entry.diskName.assign(name);
        fill(entry, status);
        visit(entry);
    };
}

std::optional<DirectoryReadError> DirectoryReader::read(const std::string& path, const Visitor& visit) const
{
    RawDirectoryEntry entry;
    if (const int failure = fileSystem_->readDirectory(path, entryVisitor(visit, entry)); failure != 0)
        return DirectoryReadError::fromErrno(failure);
    return std::nullopt;
}

std::optional<DirectoryReadError> DirectoryReader::read(const FolderLocation& location, const Visitor& visit,
                                                        FolderRead& opened) const
{
    RawDirectoryEntry entry;
    opened = fileSystem_->readFolder(location, entryVisitor(visit, entry));
    if (opened.failure != 0)
        return DirectoryReadError::fromErrno(opened.failure);
    return std::nullopt;
}

std::optional<DirectoryReadError> DirectoryReader::readPatiently(const FolderLocation& location, const Visitor& visit,
                                                                 FolderRead& opened, std::stop_token stop,
                                                                 const std::function<void()>& beforeWait) const
{
    constexpr int attempts = 30;
    constexpr std::chrono::milliseconds longestWait{100};
    for (int attempt = 1;; ++attempt) {
        auto failure = read(location, visit, opened);
        if (!failure || !failure->lacksDescriptors() || attempt == attempts)
            return failure;
        if (beforeWait)
            beforeWait();
        std::mutex sleepLock;
        std::condition_variable_any wake;
        std::unique_lock lock(sleepLock);
        const auto wait = std::min(std::chrono::milliseconds(1LL << std::min(attempt, 10)), longestWait);
        if (wake.wait_for(lock, stop, wait, [] { return false; }) || stop.stop_requested())
            return failure;
    }
}

std::optional<DirectoryReadError> DirectoryReader::stat(const std::string& path, RawDirectoryEntry& entry) const
{
    FileStatus status;
    if (const int failure = fileSystem_->linkStatus(path, status); failure != 0)
        return DirectoryReadError::fromErrno(failure);
    entry.name = Paths::lastComponent(path);
    entry.hasValidName = true;
    entry.diskName.clear();
    fill(entry, status);
    return std::nullopt;
}
