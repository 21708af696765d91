#include "ui/screens/overview/CategoryOverview.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/CategoryDonutChart.h"
#include "ui/components/TextStyle.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPixmap dot(const QColor& color)
{
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(9, 9) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, 9, 9));
    return pixmap;
}

} // namespace

CategoryOverview::CategoryOverview(AppModel& model, const StorageSummary& summary, int limit, QWidget* parent)
    : QWidget(parent), model_(model), limit_(std::max(0, limit))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);

    chart_ = new CategoryDonutChart({}, QStringLiteral("Scanned"), QString(),
                                    [&model](StorageCategory category) { select(model, category); }, 0.62);
    chart_->setFixedSize(chartSide, chartSide);
    layout->addWidget(chart_, 0, Qt::AlignTop);

    auto* list = new QVBoxLayout;
    list->setSpacing(5);
    for (int index = 0; index < limit_; ++index) {
        Row row;
        row.button = new QPushButton;
        row.button->setObjectName(QStringLiteral("categoryRow"));
        row.button->setFlat(true);
        row.button->setCursor(Qt::PointingHandCursor);
        row.button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; text-align: left; }"));
        auto* line = new QHBoxLayout(row.button);
        line->setContentsMargins(0, 1, 0, 1);
        row.swatch = new QLabel;
        row.name = new QLabel;
        row.size = new QLabel;
        row.size->setObjectName(QStringLiteral("categorySize"));
        applyTextColor(row.size, textColor(TextEmphasis::secondary));
        for (QLabel* label : {row.swatch, row.name, row.size})
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
        line->addWidget(row.swatch);
        line->addWidget(row.name);
        line->addStretch(1);
        line->addWidget(row.size);
        connect(row.button, &QPushButton::clicked, this, [this, index] {
            select(model_, rows_[static_cast<std::size_t>(index)].category);
        });
        list->addWidget(row.button);
        rows_.push_back(row);
    }
    list->addSpacing(4);
    auto* note = new QLabel(
        QStringLiteral("Categories come from folder locations and file types. Unmatched files are counted as Other."));
    note->setObjectName(QStringLiteral("categoryNote"));
    note->setWordWrap(true);
    applyTextStyle(note, TextStyle::caption2);
    applyTextColor(note, textColor(TextEmphasis::tertiary));
    list->addWidget(note);
    list->addStretch(1);
    layout->addLayout(list, 1);
    setSummary(summary);
}

void CategoryOverview::setSummary(const StorageSummary& summary)
{
    const std::vector<CategoryUsage> usages = shown(summary.categories, limit_);
    chart_->setUsages(usages);
    chart_->setCenterTexts(QStringLiteral("Scanned"), qstr(ByteFormatter::string(scannedTotal(summary.categories))));
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        Row& row = rows_[index];
        const bool used = index < usages.size();
        row.button->setVisible(used);
        if (!used)
            continue;
        const CategoryUsage& usage = usages[index];
        row.category = usage.category;
        row.button->setToolTip(qstr(detectionNote(usage.category)));
        row.button->setAccessibleName(qstr(displayName(usage.category)));
        row.swatch->setPixmap(dot(categoryColor(usage.category)));
        row.name->setText(qstr(displayName(usage.category)));
        row.size->setText(qstr(ByteFormatter::string(usage.bytes)));
        row.button->setMinimumHeight(row.button->layout()->sizeHint().height());
    }
}

std::vector<QPushButton*> CategoryOverview::rows() const
{
    std::vector<QPushButton*> shownRows;
    for (const Row& row : rows_)
        if (row.button->isVisibleTo(this))
            shownRows.push_back(row.button);
    return shownRows;
}

std::vector<CategoryUsage> CategoryOverview::shown(const std::vector<CategoryUsage>& categories, int limit)
{
    const std::size_t count = std::min(categories.size(), static_cast<std::size_t>(std::max(0, limit)));
    return {categories.begin(), categories.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::int64_t CategoryOverview::scannedTotal(const std::vector<CategoryUsage>& categories)
{
    std::int64_t total = 0;
    for (const CategoryUsage& usage : categories)
        total += usage.bytes;
    return total;
}

void CategoryOverview::select(AppModel& model, StorageCategory category)
{
    model.setLargestFilesCategory(category);
    model.setSelection(SidebarItem::largestFiles);
}
