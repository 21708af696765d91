#pragma once

#include "platform/FileTypeDescriber.h"

// File types from the shared MIME-info database. Any thread; needs no QCoreApplication.
class MimeTypeDescriber : public FileTypeDescriber {
public:
    std::optional<FileTypeDescription> describeFile(const std::string& path) const override;
    std::optional<std::string> describeExtension(const std::string& extension) const override;
};
