#pragma once

#include "analysis/VolumeInfo.h"
#include "index/ScanRecords.h"

#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

// The used space of a volume split by category, then the rest of the used space,
// then the free space, in one capsule.
class StackedCapacityBar : public QWidget {
    Q_OBJECT

public:
    StackedCapacityBar(VolumeInfo volume, std::vector<CategoryUsage> categories, QWidget* parent = nullptr);
    void setFigures(VolumeInfo volume, std::vector<CategoryUsage> categories);

    static constexpr int barHeight = 14;
    static constexpr int shownCategories = 8;
    static constexpr double gap = 1;

    // The volume's figures: total is the disk's size, available the larger of its two free
    // figures, and the used share is of used plus available, as df reckons it.
    struct Figures {
        std::int64_t total = 0;
        std::int64_t available = 0;
        std::int64_t used = 0;
        std::int64_t purgeable = 0;
        double usedFraction = 0;
    };
    static Figures figures(const VolumeInfo& volume);

    // One drawn piece; no category for the other used space.
    struct Segment {
        std::optional<StorageCategory> category;
        std::int64_t bytes = 0;     // what the piece stands for in the tooltip
        double x = 0;
        double width = 0;
        friend bool operator==(const Segment&, const Segment&) = default;
    };
    struct Layout {
        std::vector<Segment> segments;   // the categories in order, then the other used space
        double freeX = 0;
        double freeWidth = 0;
    };
    // Segments for a bar `width` wide. Categories are clamped one after another to
    // what is left of the used space, so together with the other used space they
    // never stand for more than is used, and the free part always shows the
    // available space (the gaps come out of the width).
    static Layout layout(const VolumeInfo& volume, const std::vector<CategoryUsage>& categories, double width);

    // The tooltip at `x`, empty over the free part.
    QString toolTipAt(double x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    VolumeInfo volume_;
    std::vector<CategoryUsage> categories_;
};
