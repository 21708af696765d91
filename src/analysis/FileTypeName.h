#pragma once

#include "index/FileRecords.h"

#include <string>
#include <string_view>

// The type a file is listed under, in the tables and in the CSV alike.
namespace FileTypeName {

// The extension that tells the file's type, lower-case as stored: a trailing version
// ("libz.so.1.3", "python3.11", "libQt5Core.so.5.15.0_X5") is not one, so the type is that
// of the name before it ("so" for a versioned shared library, none for a program).
std::string typeExtension(std::string_view name, std::string_view storedExtension);

// typeExtension in upper case, "File" when there is none.
std::string of(const FileItem& file);

} // namespace FileTypeName
