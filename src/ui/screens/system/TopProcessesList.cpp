#include "ui/screens/system/TopProcessesList.h"

#include "ui/components/TextStyle.h"
#include "ui/screens/system/TopProcessesModel.h"

#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QFont pidFont() { return textStyleFont(TextStyle::caption); }

// Paints one line: icon, name on one line, "PID n" in the tertiary style, the value.
class LineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static int lineHeight(const QFont& font)
    {
        return std::max(TopProcessesList::iconSize, QFontMetrics(font).height()) + TopProcessesList::rowSpacing;
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), lineHeight(option.font)};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString name = index.data(Qt::DisplayRole).toString();
        const QString pid = index.siblingAtColumn(TopProcessesModel::pidColumn).data().toString();
        const QString value = index.siblingAtColumn(TopProcessesModel::valueColumn).data().toString();
        const QFontMetrics nameMetrics(option.font);
        const QFontMetrics pidMetrics(pidFont());
        // Whole pixels rounded up, so that a text measured to fit is drawn whole.
        const auto width = [](const QFont& font, const QString& text) {
            return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
        };
        const QRect line = option.rect.adjusted(0, TopProcessesList::rowSpacing / 2, 0, -TopProcessesList::rowSpacing / 2);
        const int pidWidth = width(pidFont(), pid);
        const auto geometry = TopProcessesList::lineGeometry(line, width(option.font, name), pidWidth,
                                                             width(option.font, value));
        painter->save();
        index.data(Qt::DecorationRole).value<QIcon>().paint(painter, geometry.icon);
        const QColor primary = option.palette.color(QPalette::WindowText);
        painter->setFont(option.font);
        painter->setPen(primary);
        painter->drawText(geometry.name, Qt::AlignLeft | Qt::AlignVCenter,
                          geometry.name.width() >= width(option.font, name)
                              ? name
                              : nameMetrics.elidedText(name, Qt::ElideRight, geometry.name.width()));
        painter->drawText(geometry.value, Qt::AlignRight | Qt::AlignVCenter, value);
        painter->setFont(pidFont());
        painter->setPen(textColor(TextEmphasis::tertiary));
        painter->drawText(geometry.pid, Qt::AlignLeft | Qt::AlignVCenter,
                          geometry.pid.width() >= pidWidth ? pid
                                                           : pidMetrics.elidedText(pid, Qt::ElideRight, geometry.pid.width()));
        painter->restore();
    }
};

} // namespace

TopProcessesList::TopProcessesList(std::vector<ProcessSnapshot> processes, ValueText value, IconOf icon,
                                   QWidget* parent)
    : QWidget(parent)
    , value_(std::move(value))
    , icon_(std::move(icon))
    , model_(new TopProcessesModel(this))
    , view_(new QListView(this))
    , empty_(new QLabel(QStringLiteral("Collecting process data…"), this))
{
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    empty_->setObjectName(QStringLiteral("emptyProcesses"));
    applyTextColor(empty_, textColor(TextEmphasis::secondary));
    rows->addWidget(empty_);

    view_->setObjectName(QStringLiteral("processLines"));
    view_->setModel(model_);
    view_->setItemDelegate(new LineDelegate(view_));
    view_->setFrameShape(QFrame::NoFrame);
    view_->setSelectionMode(QAbstractItemView::NoSelection);
    view_->setFocusPolicy(Qt::NoFocus);
    view_->setUniformItemSizes(true);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The card shows through: the lines are text on the card, not a table.
    view_->viewport()->setAutoFillBackground(false);
    view_->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = view_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    view_->setPalette(palette);
    rows->addWidget(view_);

    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model_, signal, this, &TopProcessesList::fitHeight);
    setProcesses(processes);
}

void TopProcessesList::setProcesses(const std::vector<ProcessSnapshot>& processes)
{
    std::vector<TopProcessRow> rows;
    rows.reserve(processes.size());
    for (const ProcessSnapshot& process : processes)
        rows.push_back({process, value_(process), icon_(process)});
    model_->setRows(std::move(rows));
    fitHeight();
}

std::vector<ProcessSnapshot> TopProcessesList::processes() const
{
    std::vector<ProcessSnapshot> result;
    for (const TopProcessRow& row : model_->rows())
        result.push_back(row.process);
    return result;
}

void TopProcessesList::fitHeight()
{
    const int count = model_->rowCount();
    empty_->setVisible(count == 0);
    view_->setVisible(count > 0);
    view_->setFixedHeight(count * LineDelegate::lineHeight(view_->font()));
}

TopProcessesList::LineGeometry TopProcessesList::lineGeometry(const QRect& line, int nameWidth, int pidWidth,
                                                              int valueWidth)
{
    LineGeometry geometry;
    const int middle = line.top() + (line.height() - iconSize) / 2;
    geometry.icon = QRect(line.left(), middle, iconSize, iconSize);
    const int valueShown = std::min(valueWidth, std::max(0, line.width() - iconSize - partSpacing));
    geometry.value = QRect(line.right() + 1 - valueShown, line.top(), valueShown, line.height());
    // Between the icon and the value: the name, the pid and a gap before the value.
    const int start = geometry.icon.right() + 1 + partSpacing;
    const int room = std::max(0, geometry.value.left() - partSpacing - start);
    const int pidShown = std::min(pidWidth, room);
    const int nameShown = std::clamp(room - pidShown - partSpacing, 0, nameWidth);
    geometry.name = QRect(start, line.top(), nameShown, line.height());
    const int pidLeft = nameShown > 0 ? geometry.name.right() + 1 + partSpacing : start;
    geometry.pid = QRect(pidLeft, line.top(), pidShown, line.height());
    return geometry;
}

std::vector<ProcessSnapshot> TopProcessesList::top(const std::vector<ProcessSnapshot>& processes, const SortKey& key)
{
    std::vector<ProcessSnapshot> ranked = processes;
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&key](const ProcessSnapshot& a, const ProcessSnapshot& b) { return key(a) > key(b); });
    if (ranked.size() > limit) ranked.resize(limit);
    return ranked;
}
