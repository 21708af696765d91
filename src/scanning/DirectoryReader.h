#pragma once

#include "scanning/DirectoryReadError.h"
#include "scanning/RawDirectoryEntry.h"

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

// The one place where a folder is listed: one open per folder, one stat per
// entry, symbolic links never followed. Stateless; any number of threads may
// read different folders at once.
class DirectoryReader {
public:
    using Visitor = std::function<void(const RawDirectoryEntry&)>;

    DirectoryReader();
    explicit DirectoryReader(const FileSystem& fileSystem) : fileSystem_(&fileSystem) {}

    // Calls `visit` on the calling thread for every entry, in listing order.
    // Entries that cannot be stat'ed are left out. Absent on success.
    std::optional<DirectoryReadError> read(const std::string& path, const Visitor& visit) const;
    // The same for a scan's folder, opened as `location` says; `opened` receives the
    // folder's own status and its handle, open for the folders inside it (none if it holds
    // none). A folder that another item replaced after its parent listed it has vanished.
    std::optional<DirectoryReadError> read(const FolderLocation& location, const Visitor& visit,
                                           FolderRead& opened) const;
    // As above, trying again with growing waits while the system is out of descriptors
    // (other walks or the rest of the program hold them, and some come free soon), for a few
    // seconds at most or until `stop` is requested. `beforeWait`, if any, is called before
    // each wait.
    std::optional<DirectoryReadError> readPatiently(const FolderLocation& location, const Visitor& visit,
                                                    FolderRead& opened, std::stop_token stop = {},
                                                    const std::function<void()>& beforeWait = {}) const;

    // The item itself (a symbolic link as the link); absent on success.
    std::optional<DirectoryReadError> stat(const std::string& path, RawDirectoryEntry& entry) const;

    static constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";   // U+FFFD

    // UTF-8 decoding of a name's bytes with every invalid sequence replaced by
    // U+FFFD; valid only when nothing was replaced and no U+FFFD was there before.
    static std::string decodedName(std::string_view bytes, bool& valid);
    // The same into `name`, whose room is reused.
    static void decodeName(std::string_view bytes, bool& valid, std::string& name);

    // One listed name and, when it is not the name's own bytes (repaired, or holding
    // U+FFFD), the bytes on disk it stands for.
    struct ListedName {
        std::string* name = nullptr;
        std::string_view diskName{};
    };
    // Makes names of one folder that repeat once repaired distinct, so that each item keeps
    // a row and a path of its own: of a repeated name the item whose bytes are the name
    // itself, else the one with the smallest bytes, keeps it, and each other gets the bytes
    // that were replaced appended in hexadecimal, " (ff fe)". The same names on disk give
    // the same names in every scan, whatever the listing order.
    static void keepRepairedNamesDistinct(const std::vector<ListedName>& names);

private:
    static std::string decodedUTF8(std::string_view bytes, bool& valid);
    static FileSystem::EntryVisitor entryVisitor(const Visitor& visit, RawDirectoryEntry& entry);

    const FileSystem* fileSystem_;
};
