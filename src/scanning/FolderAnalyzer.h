#pragma once

#include "index/FileRecords.h"
#include "scanning/DirectoryReader.h"

#include <optional>
#include <stop_token>
#include <string>

class StorageDatabase;

// Sizes one folder tree straight from the file system, counting every file once
// per (device, inode), or takes a scanned folder's totals from the index.
namespace FolderAnalyzer {

// Never fails: a missing path gives `exists` false, unreadable folders are counted
// in `restrictedFolderCount`. A stop request is seen every 256 folders; the counts
// gathered so far come back with `wasCancelled` set.
FolderSizeResult size(const std::string& path, bool stayOnVolume, std::stop_token stop = {},
                      const DirectoryReader& reader = DirectoryReader());

// The index's totals for a folder it has scanned; absent when it holds no scanned
// row for the path or cannot be read.
std::optional<FolderSizeResult> indexedSize(const std::string& path, StorageDatabase& database);

// indexedSize when the database knows the folder, otherwise a walk that stays on
// the folder's volume. Blocks; call it off the user-interface thread.
FolderSizeResult cachedOrCalculatedSize(const std::string& path, StorageDatabase* database,
                                        std::stop_token stop = {});

} // namespace FolderAnalyzer
