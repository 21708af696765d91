#include "ui/screens/overview/DiskOverviewCard.h"

#include "analysis/ByteFormatter.h"
#include "analysis/PercentFormatter.h"
#include "app/QtText.h"
#include "ui/components/TextStyle.h"
#include "ui/components/AdaptiveGrid.h"
#include "ui/screens/overview/StackedCapacityBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

DiskOverviewCard::DiskOverviewCard(const StorageSummary& summary, QWidget* parent)
    : SectionCard(QStringLiteral("Disk Storage"), QStringLiteral("internaldrive"), new QWidget, nullptr, parent)
{
    auto* column = new QVBoxLayout(content());
    column->setContentsMargins(0, 0, 0, 0);
    unavailable_ = new QLabel(QStringLiteral("Disk capacity is unavailable."));
    unavailable_->setObjectName(QStringLiteral("unavailable"));
    applyTextColor(unavailable_, textColor(TextEmphasis::secondary));
    column->addWidget(unavailable_);

    details_ = new QWidget;
    auto* rows = new QVBoxLayout(details_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(12);
    auto* header = new QHBoxLayout;
    name_ = new QLabel;
    name_->setObjectName(QStringLiteral("volumeName"));
    applyTextStyle(name_, TextStyle::title2, QFont::DemiBold);
    format_ = new QLabel;
    format_->setObjectName(QStringLiteral("volumeFormat"));
    applyTextColor(format_, textColor(TextEmphasis::secondary));
    used_ = new QLabel;
    used_->setObjectName(QStringLiteral("usedShare"));
    applyTextStyle(used_, TextStyle::title3);
    header->addWidget(name_, 0, Qt::AlignBaseline);
    header->addWidget(format_, 0, Qt::AlignBaseline);
    header->addStretch(1);
    header->addWidget(used_, 0, Qt::AlignBaseline);
    rows->addLayout(header);
    bar_ = new StackedCapacityBar(VolumeInfo{}, {});
    rows->addWidget(bar_);
    grid_ = new AdaptiveGrid(105, 12, 10);
    for (FigureView& figure : figureViews_) {
        figure.view = new QWidget;
        figure.view->setObjectName(QStringLiteral("figure"));
        auto* lines = new QVBoxLayout(figure.view);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(2);
        figure.title = new QLabel;
        applyTextStyle(figure.title, TextStyle::caption);
        applyTextColor(figure.title, textColor(TextEmphasis::secondary));
        figure.value = new QLabel;
        figure.value->setObjectName(QStringLiteral("figureValue"));
        applyTextStyle(figure.value, TextStyle::headline, QFont::DemiBold);
        lines->addWidget(figure.title);
        lines->addWidget(figure.value);
        grid_->addCell(figure.view);
    }
    rows->addWidget(grid_);
    column->addWidget(details_);
    setSummary(summary);
}

void DiskOverviewCard::setSummary(const StorageSummary& summary, bool loaded)
{
    unavailable_->setText(loaded ? QStringLiteral("Disk capacity is unavailable.") : QStringLiteral("\u2026"));
    unavailable_->setVisible(!summary.volume);
    details_->setVisible(summary.volume.has_value());
    if (!summary.volume)
        return;
    const VolumeInfo& volume = *summary.volume;
    name_->setText(qstr(volume.name));
    format_->setText(qstr(volume.formatDescription.value_or(std::string())));
    used_->setText(usedText(volume));
    bar_->setFigures(volume, summary.categories);
    const std::vector<Figure> shown = figures(summary);
    for (std::size_t i = 0; i < figureViews_.size(); ++i) {
        const FigureView& view = figureViews_[i];
        if (i < shown.size()) {
            const Figure& figure = shown[i];
            view.title->setText(figure.title);
            view.value->setText(qstr(ByteFormatter::string(figure.bytes)));
            for (QWidget* part : {view.view, static_cast<QWidget*>(view.title), static_cast<QWidget*>(view.value)})
                part->setToolTip(figure.help);
        }
        grid_->setCellShown(view.view, i < shown.size());
    }
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
                          QStringLiteral("Space the system can free automatically (included in Available).")});
    if (const std::optional<std::int64_t> unattributed = summary.unattributedBytes())
        result.push_back({QStringLiteral("System & Unscanned"), *unattributed,
                          QStringLiteral("Used space the scan could not attribute to files: system folders the "
                                         "scan leaves out, file-system metadata and snapshots, other mounts on this "
                                         "volume and folders your account can't read.")});
    return result;
}

QString DiskOverviewCard::usedText(const VolumeInfo& volume)
{
    return qstr(PercentFormatter::string(StackedCapacityBar::figures(volume).usedFraction, 0)) + QStringLiteral(" used");
}
