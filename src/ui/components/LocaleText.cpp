#include "ui/components/LocaleText.h"

#include <QLocale>

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

namespace {

constexpr char16_t noDate[] = u"—";

std::string currentLocaleName()
{
    return QLocale().name().toStdString();
}

QString toQString(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

enum class Style { mediumDate, mediumDateShortTime, mediumDateMediumTime, longDateShortTime, timeOfDay };

std::string defaultZoneID()
{
    const std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
    icu::UnicodeString id;
    zone->getID(id);
    std::string text;
    return id.toUTF8String(text);
}

// Making an ICU formatter loads the locale's calendar data, far dearer than formatting
// with it, and tables paint dates for every visible row. So one formatter per locale,
// time zone and style is kept, per thread, since a formatter is not safe to share.
const icu::DateFormat* formatter(Style style, const std::function<icu::DateFormat*(const icu::Locale&)>& make)
{
    using Key = std::tuple<std::string, std::string, Style>;
    thread_local std::map<Key, std::unique_ptr<icu::DateFormat>> made;
    Key key{currentLocaleName(), defaultZoneID(), style};
    auto found = made.find(key);
    if (found == made.end()) {
        std::unique_ptr<icu::DateFormat> formatter(make(icu::Locale(std::get<0>(key).c_str())));
        found = made.emplace(std::move(key), std::move(formatter)).first;
    }
    return found->second.get();
}

const icu::DateFormat* dateTimeFormatter(Style style, icu::DateFormat::EStyle date, icu::DateFormat::EStyle time)
{
    return formatter(style, [date, time](const icu::Locale& locale) -> icu::DateFormat* {
        if (time == icu::DateFormat::kNone)
            return icu::DateFormat::createDateInstance(date, locale);
        return icu::DateFormat::createDateTimeInstance(date, time, locale);
    });
}

// An absent formatter (ICU lacks the locale's data) gives "".
QString format(const icu::DateFormat* formatter, double secondsSince1970)
{
    if (!formatter)
        return {};
    icu::UnicodeString text;
    formatter->format(secondsSince1970 * 1000.0, text);
    return toQString(text);
}

} // namespace

namespace LocaleText {

QString integer(std::int64_t value)
{
    return QLocale().toString(qlonglong(value));
}

QString count(std::int64_t value, const QString& singular, const QString& plural)
{
    return integer(value) + QLatin1Char(' ') + (value == 1 ? singular : plural);
}

QString abbreviatedDate(double secondsSince1970, TimeStyle time)
{
    switch (time) {
    case TimeStyle::omitted:
        return format(dateTimeFormatter(Style::mediumDate, icu::DateFormat::kMedium, icu::DateFormat::kNone),
                      secondsSince1970);
    case TimeStyle::shortened:
        return format(dateTimeFormatter(Style::mediumDateShortTime, icu::DateFormat::kMedium, icu::DateFormat::kShort),
                      secondsSince1970);
    case TimeStyle::standard:
        return format(dateTimeFormatter(Style::mediumDateMediumTime, icu::DateFormat::kMedium, icu::DateFormat::kMedium),
                      secondsSince1970);
    }
    return {};
}

QString abbreviatedDate(const std::optional<double>& secondsSince1970, TimeStyle time)
{
    if (!secondsSince1970)
        return QString::fromUtf16(noDate);
    return abbreviatedDate(*secondsSince1970, time);
}

QString longDate(double secondsSince1970)
{
    return format(dateTimeFormatter(Style::longDateShortTime, icu::DateFormat::kLong, icu::DateFormat::kShort),
                  secondsSince1970);
}

QString timeOfDay(double secondsSince1970)
{
    return format(formatter(Style::timeOfDay,
                            [](const icu::Locale& locale) -> icu::DateFormat* {
                                UErrorCode status = U_ZERO_ERROR;
                                std::unique_ptr<icu::DateTimePatternGenerator> generator(
                                    icu::DateTimePatternGenerator::createInstance(locale, status));
                                if (U_FAILURE(status))
                                    return nullptr;
                                const icu::UnicodeString pattern =
                                    generator->getBestPattern(icu::UnicodeString(u"jms"), status);
                                if (U_FAILURE(status))
                                    return nullptr;
                                auto made = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
                                return U_FAILURE(status) ? nullptr : made.release();
                            }),
                  secondsSince1970);
}

} // namespace LocaleText
