#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Axis values of the hand-painted charts: where the marks go and what they read.
namespace ChartAxis {

// Round values (1, 2, 2.5 or 5 times a power of ten apart) from `lower` to `upper`,
// about `desiredCount` steps; empty for a range that is not finite or not ascending.
std::vector<double> niceTicks(double lower, double upper, int desiredCount);

// The step niceTicks would use, 0 when there is none.
double niceStep(double lower, double upper, int desiredCount);

// Whole seconds, minutes, hours or days apart, about `desiredCount` steps.
std::vector<double> timeTicks(double lower, double upper, int desiredCount);

// The byte count an axis value stands for, truncated toward zero; none for a value that is
// not finite or does not fit in 64 bits.
std::optional<std::int64_t> byteCount(double value);

// ByteFormatter's text of byteCount, none when there is no count.
std::optional<QString> byteLabel(double value);

struct Mark {
    double value = 0;
    QString label;
    friend bool operator==(const Mark&, const Mark&) = default;
};

// The marks of `values` that have a label, leaving out any whose text an earlier mark
// already shows, so no two lines of one axis read the same.
std::vector<Mark> distinctMarks(const std::vector<double>& values,
                                const std::function<std::optional<QString>(double)>& label);

} // namespace ChartAxis
