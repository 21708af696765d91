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

QPushButton* categoryRow(const CategoryUsage& usage)
{
    auto* row = new QPushButton;
    row->setObjectName(QStringLiteral("categoryRow"));
    row->setFlat(true);
    row->setCursor(Qt::PointingHandCursor);
    row->setToolTip(qstr(detectionNote(usage.category)));
    row->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; text-align: left; }"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 1, 0, 1);
    auto* swatch = new QLabel;
    swatch->setPixmap(dot(categoryColor(usage.category)));
    auto* name = new QLabel(qstr(displayName(usage.category)));
    auto* size = new QLabel(qstr(ByteFormatter::string(usage.bytes)));
    size->setObjectName(QStringLiteral("categorySize"));
    applyTextColor(size, textColor(TextEmphasis::secondary));
    for (QLabel* label : {swatch, name, size})
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(swatch);
    layout->addWidget(name);
    layout->addStretch(1);
    layout->addWidget(size);
    row->setMinimumHeight(layout->sizeHint().height());
    return row;
}

} // namespace

CategoryOverview::CategoryOverview(AppModel& model, const StorageSummary& summary, int limit, QWidget* parent)
    : QWidget(parent)
{
    const std::vector<CategoryUsage> rows = shown(summary.categories, limit);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);

    auto* chart = new CategoryDonutChart(
        rows, QStringLiteral("Scanned"), qstr(ByteFormatter::string(scannedTotal(summary.categories))),
        [&model](StorageCategory category) { select(model, category); }, 0.62);
    chart->setFixedSize(chartSide, chartSide);
    layout->addWidget(chart, 0, Qt::AlignTop);

    auto* list = new QVBoxLayout;
    list->setSpacing(5);
    for (const CategoryUsage& usage : rows) {
        QPushButton* row = categoryRow(usage);
        const StorageCategory category = usage.category;
        connect(row, &QPushButton::clicked, this, [&model, category] { select(model, category); });
        list->addWidget(row);
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
