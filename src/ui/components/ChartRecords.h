#pragma once

#include "index/Hashing.h"

#include <QColor>

#include <cstdint>
#include <functional>
#include <string>

// One sample of one named series of a live chart.
struct ChartPoint {
    double date = 0;    // seconds since 1970
    double value = 0;   // in the unit of the chart that shows it
    std::string series;

    // The series name, "-", then the shortest text of `date` that reads back the same,
    // always with a fractional part: "User-1700000000.0".
    std::string id() const;

    friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

// One bar of a size bar chart; `id` is also the row it is plotted in.
struct SizeBarItem {
    std::string id;
    std::string label;
    std::int64_t bytes = 0;
    QColor color;

    friend bool operator==(const SizeBarItem&, const SizeBarItem&) = default;
};

template <>
struct std::hash<ChartPoint> {
    std::size_t operator()(const ChartPoint& p) const noexcept
    {
        // Equal points must hash alike, and 0 == -0.
        return Hashing::of(p.date == 0 ? 0.0 : p.date, p.value == 0 ? 0.0 : p.value, p.series);
    }
};

template <>
struct std::hash<SizeBarItem> {
    std::size_t operator()(const SizeBarItem& item) const noexcept
    {
        return Hashing::of(item.id, item.label, item.bytes, item.color.rgba64().toArgb32(), item.color.spec());
    }
};
