#include "analysis/TextCase.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace TextCase {

std::string uppercased(std::string_view text)
{
    std::string result(text);
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        for (char& c : result)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return result;
    }
    icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    unicode.toUpper(icu::Locale::getRoot());
    result.clear();
    unicode.toUTF8String(result);
    return result;
}

} // namespace TextCase
