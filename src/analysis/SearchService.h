#pragma once

#include "analysis/SearchResults.h"
#include "index/ApplicationRecords.h"

#include <string_view>
#include <vector>

class StorageDatabase;

// Answers one search of the search field: files and folders from the index, applications
// from the list already loaded. Never fails: an index error leaves its list empty.
class SearchService {
public:
    // Blocking; run it off the main thread. Without a database only applications are searched.
    static SearchResults run(std::string_view text, StorageDatabase* database,
                             const std::vector<ApplicationInfo>& applications);
};
