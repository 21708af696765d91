#include "ui/screens/overview/DiskOverviewCard.h"

#include "analysis/ByteFormatter.h"
#include "analysis/PercentFormatter.h"
#include "app/QtText.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/overview/AdaptiveGrid.h"
#include "ui/screens/overview/StackedCapacityBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QWidget* figureView(const DiskOverviewCard::Figure& figure)
{
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("figure"));
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* title = new QLabel(figure.title);
    applyTextStyle(title, TextStyle::caption);
    applyTextColor(title, textColor(TextEmphasis::secondary));
    auto* value = new QLabel(qstr(ByteFormatter::string(figure.bytes)));
    value->setObjectName(QStringLiteral("figureValue"));
    applyTextStyle(value, TextStyle::headline, QFont::DemiBold);
    column->addWidget(title);
    column->addWidget(value);
    if (!figure.help.isEmpty()) {
        view->setToolTip(figure.help);
        title->setToolTip(figure.help);
        value->setToolTip(figure.help);
    }
    return view;
}

QWidget* makeContent(const StorageSummary& summary)
{
    if (!summary.volume) {
        auto* unavailable = new QLabel(QStringLiteral("Disk capacity is unavailable."));
        unavailable->setObjectName(QStringLiteral("unavailable"));
        applyTextColor(unavailable, textColor(TextEmphasis::secondary));
        return unavailable;
    }
    const VolumeInfo& volume = *summary.volume;
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    auto* name = new QLabel(qstr(volume.name));
    name->setObjectName(QStringLiteral("volumeName"));
    applyTextStyle(name, TextStyle::title2, QFont::DemiBold);
    auto* format = new QLabel(qstr(volume.formatDescription.value_or(std::string())));
    format->setObjectName(QStringLiteral("volumeFormat"));
    applyTextColor(format, textColor(TextEmphasis::secondary));
    auto* used = new QLabel(DiskOverviewCard::usedText(volume));
    used->setObjectName(QStringLiteral("usedShare"));
    applyTextStyle(used, TextStyle::title3);
    header->addWidget(name, 0, Qt::AlignBaseline);
    header->addWidget(format, 0, Qt::AlignBaseline);
    header->addStretch(1);
    header->addWidget(used, 0, Qt::AlignBaseline);
    column->addLayout(header);

    column->addWidget(new StackedCapacityBar(volume, summary.categories));

    auto* grid = new AdaptiveGrid(105, 12, 10);
    for (const DiskOverviewCard::Figure& figure : DiskOverviewCard::figures(summary))
        grid->addCell(figureView(figure));
    column->addWidget(grid);
    return content;
}

} // namespace

DiskOverviewCard::DiskOverviewCard(const StorageSummary& summary, QWidget* parent)
    : SectionCard(QStringLiteral("Mac Storage"), QStringLiteral("internaldrive"), makeContent(summary), nullptr, parent)
{
}

std::vector<DiskOverviewCard::Figure> DiskOverviewCard::figures(const StorageSummary& summary)
{
    if (!summary.volume)
        return {};
    const StackedCapacityBar::Figures volume = StackedCapacityBar::figures(*summary.volume);
    std::vector<Figure> result{
        {QStringLiteral("Used"), volume.used, {}},
        {QStringLiteral("Available"), volume.available, {}},
        {QStringLiteral("Total"), volume.total, {}},
    };
    if (volume.purgeable > 0)
        result.push_back({QStringLiteral("Purgeable"), volume.purgeable,
                          QStringLiteral("Space macOS can free automatically (included in Available).")});
    if (const std::optional<std::int64_t> unattributed = summary.unattributedBytes())
        result.push_back({QStringLiteral("System & Unscanned"), *unattributed,
                          QStringLiteral("Used space the scan could not attribute to files: macOS system volumes, "
                                         "APFS snapshots, purgeable data and folders macOS doesn't let Kestrelmoor "
                                         "read.")});
    return result;
}

QString DiskOverviewCard::usedText(const VolumeInfo& volume)
{
    return qstr(PercentFormatter::string(StackedCapacityBar::figures(volume).usedFraction, 0)) + QStringLiteral(" used");
}
