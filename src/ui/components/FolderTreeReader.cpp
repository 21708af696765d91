#include "ui/components/FolderTreeReader.h"

#include "index/StorageDatabase.h"

FolderTreeReader FolderTreeReader::of(std::shared_ptr<StorageDatabase> database)
{
    return {
        [database](const std::string& path) { return database->folder(path); },
        [database] { return database->rootFolders(); },
        [database](std::int64_t folderID, std::int64_t limit) { return database->childFolders(folderID, limit); },
    };
}
