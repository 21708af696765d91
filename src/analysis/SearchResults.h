#pragma once

#include "index/ApplicationRecords.h"
#include "index/FileRecords.h"
#include "index/ScanRecords.h"

#include <vector>

// Everything one search found, with the query it was read as and how long it took.
struct SearchResults {
    std::vector<FileItem> files;                  // most allocated bytes first
    std::vector<FolderItem> folders;              // most allocated bytes first
    std::vector<ApplicationInfo> applications;    // in the order of the list searched
    SearchQuery query;                            // as parsed, application name included
    double duration = 0;                          // seconds

    friend bool operator==(const SearchResults&, const SearchResults&) = default;
};
