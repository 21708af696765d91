#include "analysis/SearchParser.h"

#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <memory>
#include <ostream>
#include <vector>

void PrintTo(const SearchQuery& q, std::ostream* os)
{
    const auto text = [&](const char* name, const std::optional<std::string>& v) {
        if (v)
            *os << name << "=\"" << *v << "\" ";
    };
    const auto number = [&](const char* name, const auto& v) {
        if (v)
            *os << name << "=" << std::fixed << *v << " ";
    };
    text("nameGlob", q.nameGlob);
    text("nameContains", q.nameContains);
    text("fileExtension", q.fileExtension);
    text("folderContains", q.folderContains);
    text("folderSubtree", q.folderSubtree);
    number("minSize", q.minSize);
    number("maxSize", q.maxSize);
    number("modifiedBefore", q.modifiedBefore);
    number("modifiedAfter", q.modifiedAfter);
    if (q.category)
        *os << "category=" << rawValue(*q.category) << " ";
    *os << "kind=" << rawValue(q.kind) << " limit=" << q.limit;
    text(" applicationName", q.applicationName);
}

namespace {

struct Case {
    const char* text;
    SearchQuery expected;
};

constexpr double now = 1712743200; // 2024-04-10 12:00 in Berlin, summer time

// Relative dates are calendar arithmetic in the user's zone; pin it so that the daylight-saving
// change at the end of March lies between `now` and the dates the cases expect.
class SearchParserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedZone_.reset(icu::TimeZone::createDefault());
        icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Europe/Berlin"));
        savedLocale_ = icu::Locale::getDefault();
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
    }

    void TearDown() override
    {
        icu::TimeZone::adoptDefault(savedZone_.release());
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(savedLocale_, status);
    }

    static void expectAll(const std::vector<Case>& cases, double at = now)
    {
        for (Case c : cases) {
            c.expected.limit = 500;
            EXPECT_EQ(SearchParser::parse(c.text, at), c.expected) << "text: " << c.text;
        }
    }

private:
    ScopedEnvironment tz_{"TZ", "Europe/Berlin"};
    std::unique_ptr<icu::TimeZone> savedZone_;
    icu::Locale savedLocale_;
};

TEST_F(SearchParserTest, SizeComparisons)
{
    expectAll({
        {"ext:mov size > 500MB", {.fileExtension = "mov", .minSize = 500'000'000}},
        {"size >= 1.5 GB size < 4gb", {.minSize = 1'500'000'000, .maxSize = 4'000'000'000}},
        {"size=0", {.minSize = 0, .maxSize = 0}},
        {"SIZE>2K", {.minSize = 2'000}},
        {"size <= 1,5 kb", {.maxSize = 1'500}},
        {"size > 10 megabytes", {.nameContains = "megabytes", .minSize = 10}},
        {"size>5mbx", {.nameContains = "size>5mbx"}},
        {"size > 2 bytes", {.minSize = 2}},
        // Two lower bounds: the one written first wins.
        {"size > 1KB size > 2KB", {.minSize = 1'000}},
        // Too large for 64 bits: no bound, but the text is still removed.
        {"size > 10000000 TB report", {.nameContains = "report"}},
        // Inside quotes the comparison is still taken out before the quotes are read.
        {"\"annual size>1mb report\"", {.nameContains = "annual  report", .minSize = 1'000'000}},
        {"photosize>1mb", {.nameContains = "photosize>1mb"}},
    });
}

TEST_F(SearchParserTest, DateComparisonsUseTheCalendar)
{
    expectAll({
        // 14 calendar days back cross the change to summer time: one hour more than 14 × 86400 s.
        {"modified > 2 weeks ago report", {.nameContains = "report", .modifiedBefore = 1711537200}},
        {"date < 3m", {.modifiedAfter = 1704884400}},
        {"date<3mo", {.modifiedAfter = 1704884400}},
        {"modified > 5 minutes", {.nameContains = "minutes", .modifiedBefore = 1712311200}},
        {"MODIFIED < 5 DAYS AGO", {.modifiedAfter = 1712311200}},
        {"modified > 5", {.modifiedBefore = 1712311200}},
        {"date > 5y", {.modifiedBefore = 1554890400}},
        {"date > 5 yrs ago", {.modifiedBefore = 1554890400}},
        {"modified > 36 days modified > 3 weeks", {.modifiedBefore = 1709636400}},
        // A count beyond 64 bits, or beyond what the calendar can reach: no bound, text removed,
        // never a bound that every file meets.
        {"modified > 99999999999999999999 days", {}},
        {"modified > 99999999999999999999 days ago report", {.nameContains = "report"}},
        {"modified > 3000000000 days x", {.nameContains = "x"}},
        {"modified > 6000000 years ago", {}},
        {"modified > 2147483647 years", {}},
        {"date < 6000000 y x", {.nameContains = "x"}},
        {"modified > 80000000 months", {}},
        {"modified > 9223372036854775807 weeks", {}},
        {"modified >= 2 days", {.nameContains = "modified >= 2 days"}},
    });
}

TEST_F(SearchParserTest, MonthsAndYearsClampToTheEndOfShorterMonths)
{
    expectAll({{"modified > 1 month", {.modifiedBefore = 1709204400}}}, 1711879200); // 31 Mar -> 29 Feb
    expectAll({{"modified > 1 year", {.modifiedBefore = 1677582000}}}, 1709204400);  // 29 Feb -> 28 Feb
}

TEST_F(SearchParserTest, Extensions)
{
    expectAll({
        {"in:Downloads *.dmg", {.fileExtension = "dmg", .folderContains = "Downloads", .kind = SearchQuery::Kind::files}},
        {"*.JPG", {.fileExtension = "jpg", .kind = SearchQuery::Kind::files}},
        {"*.tar.gz", {.fileExtension = "tar.gz", .kind = SearchQuery::Kind::files}},
        {"ext:.PNG", {.fileExtension = "png"}},
        {"Extension:..MP4..", {.fileExtension = "mp4"}},
        {"ext:", {.nameContains = "ext:"}},
        {"ext:.", {.fileExtension = ""}},
        {"ext:mov ext:mp4", {.fileExtension = "mp4"}},
        {"*.", {.nameGlob = "*."}},
        {"*.m?", {.nameGlob = "*.m?"}},
    });
}

TEST_F(SearchParserTest, Folders)
{
    expectAll({
        {"in:Downloads", {.folderContains = "Downloads"}},
        {"FOLDER:Projects", {.folderContains = "Projects"}},
        {"path:~/Documents", {.folderContains = "~/Documents"}},
        {"in:a in:B", {.folderContains = "B"}},
        {"\"in:My Files\"", {.folderContains = "My Files"}},
        {"in:", {.nameContains = "in:"}},
    });
}

TEST_F(SearchParserTest, KindsAndCategories)
{
    expectAll({
        {"kind:folder .git", {.nameContains = ".git", .kind = SearchQuery::Kind::folders}},
        {"kind:directory", {.kind = SearchQuery::Kind::folders}},
        {"type:files", {.kind = SearchQuery::Kind::files}},
        {"kind:folder *.mov", {.fileExtension = "mov", .kind = SearchQuery::Kind::folders}},
        {"*.mov kind:folder", {.fileExtension = "mov", .kind = SearchQuery::Kind::folders}},
        {"kind:folder kind:file", {.kind = SearchQuery::Kind::files}},
        {"kind:vid", {.category = StorageCategory::videos}},
        {"kind:d", {.category = StorageCategory::documents}},
        {"kind:dock", {.category = StorageCategory::docker}},
        {"KIND:Developer", {.category = StorageCategory::developer}},
        {"kind:archives", {.category = StorageCategory::archives}},
        {"kind:icloud", {.category = StorageCategory::cloudStorage}},
        {"kind:xyz", {}},
        {"kind:", {.nameContains = "kind:"}},
    });
}

TEST_F(SearchParserTest, Applications)
{
    expectAll({
        {"app:Chrome", {.applicationName = "Chrome"}},
        {"Application:Visual", {.applicationName = "Visual"}},
        {"app:Chrome *.dmg", {.fileExtension = "dmg", .kind = SearchQuery::Kind::files, .applicationName = "Chrome"}},
        {"app:", {.nameContains = "app:"}},
    });
}

TEST_F(SearchParserTest, GlobsAndWords)
{
    expectAll({
        {"IMG_*.JPG", {.nameGlob = "IMG_*.JPG"}},
        {"report[12].txt", {.nameGlob = "report[12].txt"}},
        {"a* b?", {.nameGlob = "b?"}},
        {"Ä*", {.nameGlob = "Ä*"}},
        {"foo bar", {.nameContains = "foo bar"}},
        {"  foo\t\n bar\u3000baz ", {.nameContains = "foo bar baz"}},
        {"", {}},
        {"   ", {}},
    });
}

TEST_F(SearchParserTest, ControlCharactersSeparateWordsAndNeverCutThem)
{
    using namespace std::string_literals;
    const struct {
        std::string text;
        SearchQuery expected;
    } cases[] = {
        {"aaa\0bbb"s, {.nameContains = "aaa bbb"}},
        {std::string(1000, '\0'), {}},
        {"\0*.mov"s, {.fileExtension = "mov", .kind = SearchQuery::Kind::files}},
        {"re\x01port\x7f"s, {.nameContains = "re port"}},
        {"a\u0085b"s, {.nameContains = "a b"}},   // a control character of the Latin-1 block
        {"size > 1kb\0x"s, {.nameContains = "x", .minSize = 1'000}},
        {"under:/data\0/x y"s, {.nameContains = "/x y", .folderSubtree = "/data"}},
    };
    for (auto c : cases) {
        c.expected.limit = 500;
        EXPECT_EQ(SearchParser::parse(c.text, now), c.expected) << c.text;
    }
}

TEST_F(SearchParserTest, Quotes)
{
    expectAll({
        {"\"annual report\" 2023", {.nameContains = "annual report 2023"}},
        {"x\"annual report\"", {.nameContains = "xannual report"}},
        {"\"\" a", {.nameContains = "a"}},
        {"\"unclosed phrase", {.nameContains = "unclosed phrase"}},
        {"\"a\"\"b\"", {.nameContains = "a b"}},
        {"\"*.mov\"", {.fileExtension = "mov", .kind = SearchQuery::Kind::files}},
    });
}

TEST_F(SearchParserTest, SubtreeFilterReadsBackAnyPathWhole)
{
    const std::vector<std::string> folders = {
        "/home/u/foo",
        "/a b/c",
        "/x/a\"b",
        "/x/\"quoted\"",
        "/x/a\"\"b",
        "/x/end\"",
        "/x/size > 5 GB",
        "/x/modified > 3 days ago",
        "/x/in:y ext:mov *.zip",
        "/x/under:\"z\" tail",
        "/x/back\\slash",
        "/Ünï/Été\tTab",
    };
    for (const auto& folder : folders) {
        SearchQuery expected;
        expected.folderSubtree = folder;
        expected.limit = 500;
        EXPECT_EQ(SearchParser::parse(SearchParser::subtreeFilter(folder), now), expected) << folder;
    }
    EXPECT_EQ(SearchParser::subtreeFilter("/x/a\"b"), "under:\"/x/a\"\"b\"");
}

TEST_F(SearchParserTest, SubtreeFilterBesideOtherTerms)
{
    expectAll({
        {"under:\"/a b\" *.zip", {.fileExtension = "zip", .folderSubtree = "/a b", .kind = SearchQuery::Kind::files}},
        {"UNDER:/tmp/x report", {.nameContains = "report", .folderSubtree = "/tmp/x"}},
        {"under:/a under:/b", {.folderSubtree = "/b"}},
        {"in:under:/a", {.folderContains = "under:/a"}},
        {"under:\"/open path", {.folderSubtree = "/open path"}},
        {"under:", {.nameContains = "under:"}},
        {"under:\"\"", {}},
    });
}

} // namespace
