#pragma once

#include "index/ScanRecords.h"

#include <unicode/unistr.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Reads the search field's query language: plain words, quoted phrases, wildcards,
// prefixed filters ("ext:", "in:", "kind:", "app:" and their synonyms) and size and date
// comparisons. Parsing never fails; what is not recognized searches the name.
class SearchParser {
public:
    // `now` (seconds since 1970) anchors relative dates such as "modified > 2 weeks ago".
    static SearchQuery parse(std::string_view text, double now);

    // The filter that selects exactly `folder` and what lies below it: "under:" and the
    // path in double quotes, each double quote inside it written twice.
    static std::string subtreeFilter(std::string_view folder);

private:
    // Takes every "under:" filter out of `text` before anything else reads it, so that
    // nothing inside the quoted path is taken for a size, a date or a word.
    static std::optional<std::string> takeSubtree(std::string& text);
    struct Match {
        std::int32_t start = 0;   // UTF-16 offsets into the searched text
        std::int32_t length = 0;
        std::vector<std::optional<std::string>> groups;   // groups 1...n; absent when not taking part
    };

    static std::vector<Match> matches(const char* pattern, const icu::UnicodeString& text);
    static std::vector<std::string> tokenize(const icu::UnicodeString& text);
    static std::optional<std::string> value(std::string_view token, std::span<const std::string_view> prefixes);
};
