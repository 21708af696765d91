#pragma once

#include "index/FileRecords.h"

#include <string>

// The full path of an indexed file; a file in the root folder is "/name", never "//name".
inline std::string pathOf(const FileItem& file)
{
    return (file.folderPath == "/" ? std::string() : file.folderPath) + "/" + file.name;
}
