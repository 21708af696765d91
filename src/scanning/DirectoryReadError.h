#pragma once

// Why a folder could not be listed or a path not be stat'ed.
class DirectoryReadError {
public:
    enum class Kind { other, accessDenied, vanished };

    // EPERM and EACCES are refusals, ENOENT and ENOTDIR mean the item is gone.
    static DirectoryReadError fromErrno(int code);

    Kind kind() const { return kind_; }
    // The errno of an `other` failure, 0 otherwise.
    int code() const { return code_; }
    // The system had no descriptor to open the folder with (EMFILE, ENFILE): worth trying
    // again, and no sign of the folder itself.
    bool lacksDescriptors() const;

    friend bool operator==(const DirectoryReadError&, const DirectoryReadError&) = default;

private:
    DirectoryReadError(Kind kind, int code) : kind_(kind), code_(code) {}

    Kind kind_;
    int code_;
};
