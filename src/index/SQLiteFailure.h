#pragma once

#include <compare>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

// What a failed write of the scan cache means for the writes after it.
namespace SQLiteFailure {

// For a failure that every later write would meet too (the disk that holds the cache at
// `cachePath` is full, failing or read-only), the text that tells the user why the scan could
// not save what it found; nothing for any other failure, after which writing may go on.
std::optional<std::string> lastingWriteFault(const std::exception& error, const std::string& cachePath);

// Whether a result code says the database file is damaged: SQLite found a malformed page or
// no database at all.
bool isDamage(int code);
// Remembers damage that SQLite reported on the database file at `path`, by the file's identity,
// so that a file later put in its place starts sound.
void noteDamage(const std::string& path, const std::string& description);
// The first damage reported on the file now at `path` in this run, if any.
std::optional<std::string> damageMet(const std::string& path);

// A database file as the system knows it, whatever name it has now.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
std::optional<FileIdentity> identityOf(const std::string& path);
// Whether damage was reported on that file, under any name.
bool wasDamaged(const FileIdentity& file);

} // namespace SQLiteFailure
