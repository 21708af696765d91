#include "ui/components/ChartAxis.h"

#include "analysis/ByteFormatter.h"

#include <array>
#include <cmath>
#include <set>

namespace ChartAxis {

namespace {

// More marks than any axis can show: a guard against absurd ranges, not a layout rule.
constexpr int maximumMarks = 200;

std::vector<double> marksFrom(double lower, double upper, double step)
{
    std::vector<double> values;
    if (!(step > 0))
        return values;
    const double first = std::ceil(lower / step - 1e-9);
    for (int i = 0; i < maximumMarks; ++i) {
        const double value = (first + i) * step;
        if (value > upper + step * 1e-9)
            break;
        values.push_back(value == 0 ? 0.0 : value);
    }
    return values;
}

} // namespace

double niceStep(double lower, double upper, int desiredCount)
{
    const double span = upper - lower;
    if (!std::isfinite(span) || !(span > 0) || desiredCount < 1)
        return 0;
    const double raw = span / desiredCount;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (raw <= factor * magnitude * (1 + 1e-9))
            return factor * magnitude;
    return 10 * magnitude;
}

std::vector<double> niceTicks(double lower, double upper, int desiredCount)
{
    return marksFrom(lower, upper, niceStep(lower, upper, desiredCount));
}

std::vector<double> timeTicks(double lower, double upper, int desiredCount)
{
    const double span = upper - lower;
    if (!std::isfinite(span) || !(span > 0) || desiredCount < 1)
        return {};
    static constexpr std::array<double, 24> steps{
        1,    2,    5,    10,    15,    30,    60,    120,   300,    600,    900,    1800,
        3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800, 1209600, 2592000, 7776000, 31536000};
    const double raw = span / desiredCount;
    for (double step : steps)
        if (step >= raw)
            return marksFrom(lower, upper, step);
    return marksFrom(lower, upper, niceStep(lower, upper, desiredCount));
}

std::optional<std::int64_t> byteCount(double value)
{
    // 2^63 is exact as a double; every finite value below it and at or above -2^63
    // truncates to a valid count.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(value) || value >= limit || value < -limit)
        return std::nullopt;
    return static_cast<std::int64_t>(value);
}

std::optional<QString> byteLabel(double value)
{
    const auto count = byteCount(value);
    if (!count)
        return std::nullopt;
    return QString::fromStdString(ByteFormatter::string(*count));
}

std::vector<Mark> distinctMarks(const std::vector<double>& values,
                                const std::function<std::optional<QString>(double)>& label)
{
    std::vector<Mark> marks;
    std::set<QString> shown;
    for (double value : values) {
        if (std::isnan(value))
            continue;
        const auto text = label ? label(value) : std::nullopt;
        if (!text || !shown.insert(*text).second)
            continue;
        marks.push_back({value, *text});
    }
    return marks;
}

} // namespace ChartAxis
