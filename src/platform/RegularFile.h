#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>

// The one way to open a file that another program or the user's environment put in place
// (desktop entries, settings, user-dirs, package lists, /proc): only a regular file, or a
// link that leads to one, is opened, and nothing blocks on a FIFO or touches a device.
namespace RegularFile {

// A descriptor open for reading, or -1 with errno set: ENOENT when nothing is there,
// EISDIR for a folder, EINVAL for a FIFO, a device, a socket or whatever else is no file.
int openForReading(const std::string& path);

// The whole file, or nothing when it cannot be opened as above, cannot be read, or is
// longer than `limit` bytes: each reader says how much its kind of file can hold, so that
// a huge or endless file put in its place is not taken into memory.
std::optional<std::string> read(const std::string& path, std::size_t limit);

// The first `count` bytes of the file (all of it when shorter), opened as above.
std::optional<std::string> readStart(const std::string& path, std::size_t count);

// Why `path`, followed through links, cannot stand for a regular file ("a FIFO", "a folder",
// "a symbolic link that leads nowhere"); absent when it is one or when nothing is there.
std::optional<std::string> refusal(const std::string& path);

// "a folder", "a FIFO", "a device" ... for a file type of st_mode.
std::string kindName(mode_t mode);

} // namespace RegularFile
