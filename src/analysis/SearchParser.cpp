#include "analysis/SearchParser.h"

#include "analysis/ByteFormatter.h"
#include "index/CaseFolding.h"
#include "platform/Paths.h"

#include <unicode/calendar.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>

#include <array>
#include <charconv>
#include <limits>
#include <memory>

namespace {

constexpr const char* sizePattern =
    R"((?i)\bsize\s*(>=|<=|>|<|=)\s*([0-9]+(?:[.,][0-9]+)?)\s*(bytes|b|kb|k|mb|m|gb|g|tb|t)?\b)";
constexpr const char* datePattern =
    R"((?i)\b(?:modified|date)\s*(>|<)\s*([0-9]+)\s*(days|day|d|weeks|week|w|months|month|mo|m|years|year|yrs|yr|y)?\b\s*(?:ago)?)";

constexpr std::array<std::string_view, 2> extensionPrefixes = {"ext:", "extension:"};
constexpr std::array<std::string_view, 3> folderPrefixes = {"in:", "folder:", "path:"};
constexpr std::array<std::string_view, 2> kindPrefixes = {"kind:", "type:"};
constexpr std::array<std::string_view, 2> applicationPrefixes = {"app:", "application:"};

constexpr std::string_view subtreePrefix = "under:";

constexpr int defaultLimit = 500;

std::string toUTF8(const icu::UnicodeString& text)
{
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::size_t codePointCount(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

// Byte offset just past the first `count` code points.
std::size_t offsetOfCodePoint(std::string_view text, std::size_t count)
{
    std::size_t i = 0;
    while (i < text.size() && count > 0) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        --count;
    }
    return i;
}

bool holdsWildcard(std::string_view text) { return text.find_first_of("*?[") != std::string_view::npos; }

std::string trimmingDots(std::string_view text)
{
    const auto first = text.find_first_not_of('.');
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of('.') - first + 1));
}

// Digits only, as the date pattern captures them; absent when the count does not fit.
std::optional<std::int64_t> readCount(std::string_view digits)
{
    std::int64_t n = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return n;
}

// Control characters are no part of a name: they separate words as white space does, and a
// NUL can no longer end the text early on its way to the index.
std::string withControlCharactersAsSpaces(std::string_view input)
{
    std::string text;
    text.reserve(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        const auto byte = static_cast<unsigned char>(input[i]);
        const bool latinControl = byte == 0xC2 && i + 1 < input.size() &&
                                  static_cast<unsigned char>(input[i + 1]) >= 0x80 &&
                                  static_cast<unsigned char>(input[i + 1]) <= 0x9F;
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
            text += ' ';
        } else if (byte == 0x7F) {
            text += ' ';
        } else if (latinControl) {
            text += ' ';
            ++i;
        } else {
            text += input[i];
        }
    }
    return text;
}

// `now` moved by `amount` units of `field` in the user's calendar and time zone; absent when
// the calendar cannot get there (its fields take 32-bit amounts, beyond which it has no dates).
std::optional<double> shiftedDate(double now, UCalendarDateFields field, std::int64_t amount)
{
    if (amount < std::numeric_limits<std::int32_t>::min() || amount > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(status));
    if (U_FAILURE(status) || !calendar)
        return std::nullopt;
    calendar->setTime(now * 1000.0, status);
    calendar->add(field, static_cast<std::int32_t>(amount), status);
    const UDate date = calendar->getTime(status);
    if (U_FAILURE(status))
        return std::nullopt;
    // Past the calendar's last year the date wraps around instead of failing: a date that
    // moved the other way is one the calendar could not produce.
    if ((amount < 0 && date > now * 1000.0) || (amount > 0 && date < now * 1000.0))
        return std::nullopt;
    return date / 1000.0;
}

std::optional<double> relativeDate(double now, std::int64_t n, std::string_view unit)
{
    switch (unit.empty() ? 'd' : unit.front()) {
    case 'w':
        if (n > std::numeric_limits<std::int64_t>::max() / 7)
            return std::nullopt;
        return shiftedDate(now, UCAL_DATE, -7 * n);
    case 'm':
        return shiftedDate(now, UCAL_MONTH, -n);
    case 'y':
        return shiftedDate(now, UCAL_YEAR, -n);
    default:
        return shiftedDate(now, UCAL_DATE, -n);
    }
}

} // namespace

SearchQuery SearchParser::parse(std::string_view input, double now)
{
    SearchQuery query;
    query.limit = defaultLimit;
    std::string rest = withControlCharactersAsSpaces(input);
    query.folderSubtree = takeSubtree(rest);
    auto text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(rest.data(), static_cast<std::int32_t>(std::min<std::size_t>(rest.size(), INT32_MAX))));

    // Later matches are cut first so that earlier ranges stay valid; the bound written first
    // in the text is therefore the one that stays.
    const auto sizeMatches = matches(sizePattern, text);
    for (auto it = sizeMatches.rbegin(); it != sizeMatches.rend(); ++it) {
        const std::string& op = it->groups[0].value();
        const auto size = ByteFormatter::parse(it->groups[1].value() + it->groups[2].value_or("b"));
        if (size) {
            if (op == ">" || op == ">=")
                query.minSize = size;
            else if (op == "<" || op == "<=")
                query.maxSize = size;
            else
                query.minSize = query.maxSize = size;
        }
        text.remove(it->start, it->length);
    }

    const auto dateMatches = matches(datePattern, text);
    for (auto it = dateMatches.rbegin(); it != dateMatches.rend(); ++it) {
        // A count too large for 64 bits reaches no date: no bound, as for a size out of range.
        const auto n = readCount(it->groups[1].value());
        const std::string unit = CaseFolding::lowercased(it->groups[2].value_or("d"));
        if (const auto date = n ? relativeDate(now, *n, unit) : std::nullopt) {
            if (it->groups[0].value() == ">")
                query.modifiedBefore = date;
            else
                query.modifiedAfter = date;
        }
        text.remove(it->start, it->length);
    }

    for (const std::string& token : tokenize(text)) {
        const std::string lower = CaseFolding::lowercased(token);
        if (auto extension = value(lower, extensionPrefixes)) {
            query.fileExtension = trimmingDots(*extension);
        } else if (auto folder = value(token, folderPrefixes)) {
            query.folderContains = std::move(folder);
        } else if (auto kind = value(lower, kindPrefixes)) {
            if (kind->starts_with("folder") || kind->starts_with("dir")) {
                query.kind = SearchQuery::Kind::folders;
            } else if (kind->starts_with("file")) {
                query.kind = SearchQuery::Kind::files;
            } else {
                for (const StorageCategory category : allStorageCategories()) {
                    if (CaseFolding::lowercased(displayName(category)).starts_with(*kind)) {
                        query.category = category;
                        break;
                    }
                }
            }
        } else if (auto application = value(token, applicationPrefixes)) {
            query.applicationName = std::move(application);
        } else if (lower.starts_with("*.") && codePointCount(lower) >= 3 && !holdsWildcard(lower.substr(2))) {
            query.fileExtension = lower.substr(2);
            if (query.kind != SearchQuery::Kind::folders)
                query.kind = SearchQuery::Kind::files;
        } else if (holdsWildcard(token)) {
            query.nameGlob = token;
        } else if (query.nameContains) {
            *query.nameContains += ' ';
            *query.nameContains += token;
        } else {
            query.nameContains = token;
        }
    }
    return query;
}

std::string SearchParser::subtreeFilter(std::string_view folder)
{
    std::string filter(subtreePrefix);
    filter += '"';
    for (const char c : folder) {
        if (c == '"')
            filter += '"';
        filter += c;
    }
    filter += '"';
    return filter;
}

std::optional<std::string> SearchParser::takeSubtree(std::string& text)
{
    std::optional<std::string> folder;
    const auto startsToken = [&](std::size_t at) {
        return at == 0 || text[at - 1] == ' ' || text[at - 1] == '\t' || text[at - 1] == '\n';
    };
    std::size_t at = 0;
    while (at + subtreePrefix.size() < text.size()) {
        if (!startsToken(at) || Paths::asciiLowercased(text.substr(at, subtreePrefix.size())) != subtreePrefix) {
            ++at;
            continue;
        }
        std::size_t end = at + subtreePrefix.size();
        std::string value;
        if (text[end] == '"') {
            // A quote written twice is one quote of the path; an unclosed path runs to the end.
            for (++end; end < text.size(); ++end) {
                if (text[end] == '"') {
                    if (end + 1 < text.size() && text[end + 1] == '"') {
                        value += '"';
                        ++end;
                        continue;
                    }
                    ++end;
                    break;
                }
                value += text[end];
            }
        } else {
            while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\n')
                value += text[end++];
        }
        // The last filter written wins, as with the other filters.
        if (!value.empty())
            folder = std::move(value);
        text.replace(at, end - at, " ");
        ++at;
    }
    return folder;
}

std::vector<SearchParser::Match> SearchParser::matches(const char* pattern, const icu::UnicodeString& text)
{
    std::vector<Match> result;
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), 0, parseError, status));
    if (U_FAILURE(status) || !compiled)
        return result;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(text, status));
    if (U_FAILURE(status) || !matcher)
        return result;
    const std::int32_t groupCount = matcher->groupCount();
    while (matcher->find(status) && U_SUCCESS(status)) {
        Match match;
        match.start = matcher->start(status);
        match.length = matcher->end(status) - match.start;
        for (std::int32_t group = 1; group <= groupCount; ++group) {
            if (matcher->start(group, status) < 0)
                match.groups.emplace_back();
            else
                match.groups.emplace_back(toUTF8(matcher->group(group, status)));
        }
        if (U_FAILURE(status))
            break;
        result.push_back(std::move(match));
    }
    return result;
}

std::vector<std::string> SearchParser::tokenize(const icu::UnicodeString& text)
{
    std::vector<std::string> tokens;
    icu::UnicodeString current;
    bool inQuotes = false;
    const auto finish = [&] {
        if (!current.isEmpty())
            tokens.push_back(toUTF8(current));
        current.remove();
    };
    for (std::int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        const UChar32 c = text.char32At(i);
        if (c == u'"') {
            // Opening a quote keeps what came before it: glued text joins the phrase.
            if (inQuotes)
                finish();
            inQuotes = !inQuotes;
        } else if (u_isUWhiteSpace(c) && !inQuotes) {
            finish();
        } else {
            current.append(c);
        }
    }
    finish();
    return tokens;
}

std::optional<std::string> SearchParser::value(std::string_view token, std::span<const std::string_view> prefixes)
{
    const std::string lower = CaseFolding::lowercased(token);
    for (const std::string_view prefix : prefixes) {
        if (!lower.starts_with(prefix))
            continue;
        // Count characters, not bytes: a letter typed before the colon may lower to a
        // different number of bytes.
        const std::string_view rest = token.substr(offsetOfCodePoint(token, codePointCount(prefix)));
        if (rest.empty())
            return std::nullopt;
        return std::string(rest);
    }
    return std::nullopt;
}
