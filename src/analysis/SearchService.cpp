#include "analysis/SearchService.h"

#include "analysis/SearchParser.h"
#include "index/StorageDatabase.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>

namespace {

// Case folding as the user's locale does it: Turkish and Azeri fold the dotted and dotless
// i apart. Composed afterwards so that a decomposed accent matches a precomposed one.
class LocalizedFolding {
public:
    LocalizedFolding()
    {
        const char* language = icu::Locale::getDefault().getLanguage();
        if (std::strcmp(language, "tr") == 0 || std::strcmp(language, "az") == 0)
            options_ = U_FOLD_CASE_EXCLUDE_SPECIAL_I;
        UErrorCode status = U_ZERO_ERROR;
        nfc_ = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status))
            nfc_ = nullptr;
    }

    icu::UnicodeString fold(const std::string& text) const
    {
        auto folded =
            icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
        folded.foldCase(options_);
        if (!nfc_)
            return folded;
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString composed = nfc_->normalize(folded, status);
        return U_SUCCESS(status) ? composed : folded;
    }

private:
    std::uint32_t options_ = U_FOLD_CASE_DEFAULT;
    const icu::Normalizer2* nfc_ = nullptr;
};

bool containsFolded(const LocalizedFolding& folding, const std::string& text, const icu::UnicodeString& term)
{
    return folding.fold(text).indexOf(term) >= 0;
}

std::vector<ApplicationInfo> matchingApplications(const std::vector<ApplicationInfo>& applications,
                                                  const std::string& term)
{
    std::vector<ApplicationInfo> result;
    const LocalizedFolding folding;
    const icu::UnicodeString foldedTerm = folding.fold(term);
    if (foldedTerm.isEmpty())
        return result;
    for (const ApplicationInfo& application : applications) {
        if (containsFolded(folding, application.name, foldedTerm) ||
            (application.bundleIdentifier && containsFolded(folding, *application.bundleIdentifier, foldedTerm)))
            result.push_back(application);
    }
    return result;
}

std::optional<std::string> applicationTerm(const SearchQuery& query)
{
    if (query.applicationName)
        return query.applicationName;
    if (query.kind == SearchQuery::Kind::all)
        return query.nameContains;
    return std::nullopt;
}

template <class Read>
auto orEmpty(Read read) -> decltype(read())
{
    try {
        return read();
    } catch (...) {
        return {};
    }
}

} // namespace

SearchResults SearchService::run(std::string_view text, StorageDatabase* database,
                                 const std::vector<ApplicationInfo>& applications)
{
    const auto start = std::chrono::steady_clock::now();
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();

    SearchResults results;
    results.query = SearchParser::parse(text, now);

    if (const auto term = applicationTerm(results.query))
        results.applications = matchingApplications(applications, *term);

    SearchQuery indexQuery = results.query;
    indexQuery.applicationName.reset();
    // An application-only search, or a kind alone, reads no files or folders.
    if (database && !indexQuery.isEmpty()) {
        if (indexQuery.kind != SearchQuery::Kind::folders)
            results.files = orEmpty([&] { return database->searchFiles(indexQuery); });
        if (indexQuery.kind != SearchQuery::Kind::files)
            results.folders = orEmpty([&] { return database->searchFolders(indexQuery); });
    }

    results.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return results;
}
