#pragma once

#include <optional>
#include <string>

// What the system calls a kind of file: a readable description and a type identifier.
struct FileTypeDescription {
    std::string description;   // e.g. "plain text document"
    std::string identifier;    // e.g. "text/plain"

    friend bool operator==(const FileTypeDescription&, const FileTypeDescription&) = default;
};

// The system's file-type database.
class FileTypeDescriber {
public:
    virtual ~FileTypeDescriber() = default;

    // The type of the item at `path`, judged by its name and contents; absent when unknown.
    virtual std::optional<FileTypeDescription> describeFile(const std::string& path) const = 0;
    // The description of the type that a file-name extension (without the dot) stands for.
    virtual std::optional<std::string> describeExtension(const std::string& extension) const = 0;
};
