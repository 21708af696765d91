#include "ui/screens/overview/CategoryTable.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/LocaleText.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"
#include "ui/components/UsageBar.h"
#include "ui/screens/overview/RowButton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>

namespace {

enum Column { nameColumn, sizeColumn, filesColumn, shareColumn, noteColumn };


// The fonts in use draw every digit equally wide, so figures line up as they are.
QLabel* figureLabel(const QString& text)
{
    return new QLabel(text);
}

} // namespace

CategoryTable::CategoryTable(AppModel& model, std::vector<CategoryUsage> categories, QWidget* parent)
    : QWidget(parent), model_(model), categories_(std::move(categories))
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(6);

    const Qt::Alignment leading = Qt::AlignLeft | Qt::AlignVCenter;
    const Qt::Alignment trailing = Qt::AlignRight | Qt::AlignVCenter;
    grid->addWidget(styledLabel(tr("Category"), TextStyle::caption, TextEmphasis::secondary), 0, nameColumn, leading);
    grid->addWidget(styledLabel(tr("Size"), TextStyle::caption, TextEmphasis::secondary), 0, sizeColumn, trailing);
    grid->addWidget(styledLabel(tr("Files"), TextStyle::caption, TextEmphasis::secondary), 0, filesColumn, trailing);
    grid->addWidget(styledLabel(tr("Share"), TextStyle::caption, TextEmphasis::secondary), 0, shareColumn, leading);
    auto* noteHeader = new ElidedLabel(tr("How it's detected"), Qt::ElideRight);
    applyTextStyle(noteHeader, TextStyle::caption);
    applyTextColor(noteHeader, textColor(TextEmphasis::secondary));
    grid->addWidget(noteHeader, 0, noteColumn);

    const std::int64_t sum = total(categories_);
    int row = 1;
    for (const CategoryUsage& usage : categories_) {
        const StorageCategory category = usage.category;
        const QColor color = categoryColor(category);

        auto* link = new RowButton;
        link->setObjectName(QStringLiteral("categoryLink"));
        link->setAccessibleName(qstr(displayName(category)));
        auto* linkLayout = new QHBoxLayout(link);
        linkLayout->setContentsMargins(2, 1, 4, 1);
        linkLayout->addWidget(
            TintedLabelStyle(color).makeBody(qstr(symbolName(category)), qstr(displayName(category))));
        connect(link, &QAbstractButton::clicked, this, [this, category] { open(category); });
        grid->addWidget(link, row, nameColumn, leading);

        grid->addWidget(figureLabel(qstr(ByteFormatter::string(usage.bytes))), row, sizeColumn, trailing);
        QLabel* count = figureLabel(LocaleText::integer(usage.fileCount));
        applyTextColor(count, textColor(TextEmphasis::secondary));
        grid->addWidget(count, row, filesColumn, trailing);

        auto* bar = new UsageBar(share(usage.bytes, sum), color, 6);
        bar->setFixedWidth(shareWidth);
        grid->addWidget(bar, row, shareColumn, Qt::AlignCenter);

        auto* detection = new ElidedLabel(qstr(detectionNote(category)), Qt::ElideRight);
        applyTextStyle(detection, TextStyle::caption);
        applyTextColor(detection, textColor(TextEmphasis::secondary));
        detection->setToolTip(detection->text());
        grid->addWidget(detection, row, noteColumn);
        ++row;
    }
    // The note takes what width is left and gives it up first.
    grid->setColumnStretch(noteColumn, 1);
}

double CategoryTable::share(std::int64_t bytes, std::int64_t total)
{
    return static_cast<double>(bytes) / static_cast<double>(std::max<std::int64_t>(total, 1));
}

std::int64_t CategoryTable::total(const std::vector<CategoryUsage>& categories)
{
    std::int64_t sum = 0;
    for (const CategoryUsage& usage : categories)
        sum += usage.bytes;
    return sum;
}

void CategoryTable::open(StorageCategory category)
{
    model_.setLargestFilesCategory(category);
    model_.setSelection(SidebarItem::largestFiles);
}
