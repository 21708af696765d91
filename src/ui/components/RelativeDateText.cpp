#include "ui/components/RelativeDateText.h"

#include <cmath>

namespace {

struct Unit {
    double seconds;
    const char* singular;
    const char* plural;
    const char* lastName;   // named form for one unit in the past, or null
    const char* nextName;
};

const Unit units[] = {
    {365.0 * 86400, "year", "years", "last year", "next year"},
    {30.0 * 86400, "month", "months", "last month", "next month"},
    {7.0 * 86400, "week", "weeks", "last week", "next week"},
    {86400, "day", "days", "yesterday", "tomorrow"},
    {3600, "hour", "hours", nullptr, nullptr},
    {60, "minute", "minutes", nullptr, nullptr},
    {1, "second", "seconds", nullptr, nullptr},
};

} // namespace

QString relativeDateText(double seconds, double nowSeconds)
{
    const double delta = seconds - nowSeconds;
    const double magnitude = std::fabs(delta);
    if (magnitude < 1)
        return QStringLiteral("now");
    const bool past = delta < 0;
    for (const Unit& unit : units) {
        if (magnitude < unit.seconds)
            continue;
        const auto count = static_cast<long long>(std::floor(magnitude / unit.seconds));
        if (count == 1 && unit.lastName)
            return QString::fromLatin1(past ? unit.lastName : unit.nextName);
        const QString amount =
            QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? unit.singular : unit.plural));
        return past ? amount + QStringLiteral(" ago") : QStringLiteral("in ") + amount;
    }
    return QStringLiteral("now");
}
