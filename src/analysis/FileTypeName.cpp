#include "analysis/FileTypeName.h"

#include "analysis/TextCase.h"
#include "index/CaseFolding.h"

#include <cctype>

namespace FileTypeName {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// "13", "0_X5", "0-STABLE": digits, then nothing or a separator and anything; "7z" and
// "3gp" are types.
bool isVersionComponent(std::string_view component)
{
    if (component.empty() || !isDigit(component.front()))
        return false;
    std::size_t digits = 0;
    while (digits < component.size() && isDigit(component[digits]))
        ++digits;
    if (digits == component.size())
        return true;
    const char separator = component[digits];
    return separator == '_' || separator == '-' || separator == '+' || separator == '~';
}

} // namespace

std::string typeExtension(std::string_view name, std::string_view storedExtension)
{
    if (!isVersionComponent(storedExtension))
        return std::string(storedExtension);
    std::string_view rest = name;
    while (true) {
        // A leading dot names a hidden file, not an extension.
        const std::size_t dot = rest.rfind('.');
        if (dot == std::string_view::npos || dot == 0)
            return {};
        const std::string_view last = rest.substr(dot + 1);
        if (!isVersionComponent(last))
            return last.empty() ? std::string() : CaseFolding::lowercased(last);
        rest = rest.substr(0, dot);
    }
}

std::string of(const FileItem& file)
{
    const std::string extension = typeExtension(file.name, file.fileExtension);
    return extension.empty() ? std::string("File") : TextCase::uppercased(extension);
}

} // namespace FileTypeName
