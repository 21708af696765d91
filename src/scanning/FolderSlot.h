#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A read folder's place in the index, shared with the jobs of the folders inside it. The
// scan's writer fills it when it syncs the folder (or, for a folder waiting for its links,
// writes its subfolder rows), always before it syncs any of those (it writes in the order
// folders were read), and only the writer reads it then. `failed` is also read by the
// readers, to skip a subtree whose writes will be dropped.
struct FolderSlot {
    std::optional<std::int64_t> folderID;
    std::map<std::string, std::int64_t> childIDs;   // by subfolder name
    std::vector<std::int64_t> newChildIDs;          // rows the sync made, ascending
    std::atomic<bool> failed{false};
};
