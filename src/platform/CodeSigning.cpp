#include "platform/CodeSigning.h"

#include <sys/stat.h>

CodeSigning::Status CodeSigning::createStaticCode(const std::string& path, StaticCode& code) const
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return staticCodeNotFound;
    code.path = path;
    return success;
}

CodeSigning::Status CodeSigning::copySigningInformation(const StaticCode&, SigningInformation&) const
{
    return unimplemented;
}

CodeSigning::Status CodeSigning::checkValidity(const StaticCode&) const
{
    return unimplemented;
}

std::optional<std::string> CodeSigning::errorMessage(Status status) const
{
    switch (status) {
    case unimplemented: return "Code signatures cannot be checked on this system";
    case notSigned: return "code object is not signed at all";
    case staticCodeNotFound: return "cannot find code object on disk";
    default: return std::nullopt;
    }
}

const CodeSigning& CodeSigning::system()
{
    static const CodeSigning instance;
    return instance;
}
