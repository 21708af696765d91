#pragma once

#include "index/FileRecords.h"

#include <cstdint>
#include <string>

class FileTypeDescriber;

// The facts of one file that the index does not keep, read afresh from the file system.
namespace FileDetailsLoader {

// Never fails: whatever cannot be read stays absent (or false).
FileDetails load(const std::string& path, const FileTypeDescriber& types);

// "rwxr-xr-x" for 0755; special and type bits are not shown.
std::string posixString(std::uint16_t mode);

// The kind of file an extension stands for: "Document" for none, "XYZ file" when unknown.
std::string typeDescription(const std::string& extension, const FileTypeDescriber& types);

} // namespace FileDetailsLoader
