#include "ui/components/LocaleText.h"

#include <QLocale>

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <memory>

namespace {

constexpr char16_t noDate[] = u"—";

icu::Locale currentLocale()
{
    return icu::Locale(QLocale().name().toStdString().c_str());
}

QString toQString(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// Takes ownership of the formatter; an absent one (ICU lacks the locale's data) gives "".
QString format(icu::DateFormat* formatter, double secondsSince1970)
{
    std::unique_ptr<icu::DateFormat> owned(formatter);
    if (!owned)
        return {};
    icu::UnicodeString text;
    owned->format(secondsSince1970 * 1000.0, text);
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
    const icu::Locale locale = currentLocale();
    switch (time) {
    case TimeStyle::omitted:
        return format(icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, locale), secondsSince1970);
    case TimeStyle::shortened:
        return format(icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium, icu::DateFormat::kShort, locale),
                      secondsSince1970);
    case TimeStyle::standard:
        return format(icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium, icu::DateFormat::kMedium, locale),
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
    return format(icu::DateFormat::createDateTimeInstance(icu::DateFormat::kLong, icu::DateFormat::kShort, currentLocale()),
                  secondsSince1970);
}

QString timeOfDay(double secondsSince1970)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = currentLocale();
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status))
        return {};
    const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"jms"), status);
    if (U_FAILURE(status))
        return {};
    auto formatter = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
    if (U_FAILURE(status))
        return {};
    return format(formatter.release(), secondsSince1970);
}

} // namespace LocaleText
