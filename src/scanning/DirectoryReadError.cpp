#include "scanning/DirectoryReadError.h"

#include <cerrno>

DirectoryReadError DirectoryReadError::fromErrno(int code)
{
    switch (code) {
    case EPERM:
    case EACCES:
        return {Kind::accessDenied, 0};
    case ENOENT:
    case ENOTDIR:
        return {Kind::vanished, 0};
    default:
        return {Kind::other, code};
    }
}

bool DirectoryReadError::lacksDescriptors() const
{
    return kind_ == Kind::other && (code_ == EMFILE || code_ == ENFILE);
}
