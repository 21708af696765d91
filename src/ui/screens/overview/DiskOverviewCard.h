#pragma once

#include "analysis/StorageSummary.h"
#include "ui/components/SectionCard.h"

#include <array>
#include <cstdint>
#include <vector>

class AdaptiveGrid;
class QLabel;
class StackedCapacityBar;

// The "Disk Storage" card: the volume's name, how much of it is used, the used
// space split by category, and the figures behind it. Made once; a new summary
// gives it new values.
class DiskOverviewCard : public SectionCard {
    Q_OBJECT

public:
    explicit DiskOverviewCard(const StorageSummary& summary, QWidget* parent = nullptr);

    // While the cache is still being read (`loaded` false) a missing volume is not yet
    // known to be missing: the card shows a loading mark instead.
    void setSummary(const StorageSummary& summary, bool loaded = true);

    struct Figure {
        QString title;
        std::int64_t bytes = 0;
        QString help;   // empty for none
        friend bool operator==(const Figure&, const Figure&) = default;
    };
    // The figures under the bar, in order; none without a volume.
    static std::vector<Figure> figures(const StorageSummary& summary);
    // "63% used".
    static QString usedText(const VolumeInfo& volume);

    // The most figures a summary has.
    static constexpr std::size_t figureCount = 5;

private:
    struct FigureView {
        QWidget* view = nullptr;
        QLabel* title = nullptr;
        QLabel* value = nullptr;
    };

    QLabel* unavailable_;
    QWidget* details_;
    QLabel* name_;
    QLabel* format_;
    QLabel* used_;
    StackedCapacityBar* bar_;
    AdaptiveGrid* grid_;
    std::array<FigureView, figureCount> figureViews_;
};
