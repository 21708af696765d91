#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// Numbers and dates in the user's locale (QLocale's default) and time zone.
namespace LocaleText {

// With the locale's grouping separators: 4096 -> "4,096" in English.
QString integer(std::int64_t value);

// The count with its noun, singular only for exactly one: "1 file", "0 files",
// "4,096 files".
QString count(std::int64_t value, const QString& singular, const QString& plural);

enum class TimeStyle { omitted, shortened, standard };

// The abbreviated date style ("Dec 9, 2026" in English), with the time of day in
// the given style after it.
QString abbreviatedDate(double secondsSince1970, TimeStyle time = TimeStyle::omitted);
// The same, or "—" when there is no date.
QString abbreviatedDate(const std::optional<double>& secondsSince1970, TimeStyle time = TimeStyle::omitted);

// The long date style with the short time: "December 9, 2026 at 4:18 AM" in English.
QString longDate(double secondsSince1970);

// Hour, minute and second with the locale's day-period marker: "3:04:05 PM".
QString timeOfDay(double secondsSince1970);

} // namespace LocaleText
