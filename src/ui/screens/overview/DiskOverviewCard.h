#pragma once

#include "analysis/StorageSummary.h"
#include "ui/components/SectionCard.h"

#include <cstdint>
#include <vector>

// The "Mac Storage" card: the volume's name, how much of it is used, the used
// space split by category, and the figures behind it.
class DiskOverviewCard : public SectionCard {
    Q_OBJECT

public:
    explicit DiskOverviewCard(const StorageSummary& summary, QWidget* parent = nullptr);

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
};
