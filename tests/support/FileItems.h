#pragma once

#include "index/FileRecords.h"
#include "platform/Paths.h"

#include <string_view>

// A file row as the index hands it to the screens and services, for tests that need
// rows without a scan. The path gives the folder and the name; the other fields are
// named at the call (`fileAt("/data/a.txt", {.id = 3, .allocatedSize = 4096})`). An
// extension not given is the name's, lower-cased, as a scan stores it.
inline FileItem fileAt(std::string_view path, FileItem fields = {})
{
    fields.folderPath = Paths::deletingLastComponent(path);
    fields.name = Paths::lastComponent(path);
    if (fields.fileExtension.empty())
        fields.fileExtension = Paths::asciiLowercased(Paths::extension(fields.name));
    return fields;
}

// A folder row as the index hands it over, named after the last component of its path;
// the other fields are named at the call (`folderAt("/data/a", {.id = 2, .parentID = 1})`).
inline FolderItem folderAt(std::string_view path, FolderItem fields = {})
{
    fields.path = path;
    fields.name = Paths::lastComponent(path);
    return fields;
}
