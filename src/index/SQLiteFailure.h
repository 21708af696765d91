#pragma once

#include <exception>
#include <optional>
#include <string>

// What a failed write of the scan cache means for the writes after it.
namespace SQLiteFailure {

// For a failure that every later write would meet too (the disk that holds the cache at
// `cachePath` is full, failing or read-only), the text that tells the user why the scan could
// not save what it found; nothing for any other failure, after which writing may go on.
std::optional<std::string> lastingWriteFault(const std::exception& error, const std::string& cachePath);

} // namespace SQLiteFailure
