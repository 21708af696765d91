#include "ui/screens/system/TopProcessesList.h"

#include "app/QtText.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

TopProcessesList::TopProcessesList(std::vector<ProcessSnapshot> processes, ValueText value, const IconOf& iconOf,
                                   QWidget* parent)
    : QWidget(parent)
    , processes_(std::move(processes))
{
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(6);
    if (processes_.empty()) {
        auto* empty = new QLabel(QStringLiteral("Collecting process data…"), this);
        empty->setObjectName(QStringLiteral("emptyProcesses"));
        applyTextColor(empty, textColor(TextEmphasis::secondary));
        rows->addWidget(empty);
        return;
    }
    for (const ProcessSnapshot& process : processes_) {
        auto* row = new QWidget(this);
        row->setObjectName(QStringLiteral("processRow"));
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        auto* icon = new QLabel(row);
        icon->setPixmap(iconOf(process).pixmap(QSize(16, 16), devicePixelRatioF()));
        line->addWidget(icon);
        auto* name = new ElidedLabel(qstr(process.name), Qt::ElideRight, row);
        name->setObjectName(QStringLiteral("processName"));
        name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        line->addWidget(name, 1);
        auto* pid = new QLabel(tr("PID %1").arg(process.pid), row);
        applyTextStyle(pid, TextStyle::caption);
        applyTextColor(pid, textColor(TextEmphasis::tertiary));
        line->addWidget(pid);
        line->addStretch(0);
        auto* figure = new QLabel(value(process), row);
        figure->setObjectName(QStringLiteral("processValue"));
        figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        line->addWidget(figure);
        rows->addWidget(row);
    }
}

std::vector<ProcessSnapshot> TopProcessesList::top(const std::vector<ProcessSnapshot>& processes, const SortKey& key)
{
    std::vector<ProcessSnapshot> ranked = processes;
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&key](const ProcessSnapshot& a, const ProcessSnapshot& b) { return key(a) > key(b); });
    if (ranked.size() > limit) ranked.resize(limit);
    return ranked;
}
