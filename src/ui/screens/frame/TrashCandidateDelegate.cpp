#include "ui/screens/frame/TrashCandidateDelegate.h"

#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/frame/TrashCandidateListModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace {

constexpr int cautionGlyph = 12;
constexpr int cautionGlyphGap = 4;

bool wraps(TrashCandidateDelegate::Line::Kind kind)
{
    return kind == TrashCandidateDelegate::Line::note || kind == TrashCandidateDelegate::Line::caution;
}

} // namespace

std::vector<TrashCandidateDelegate::Line> TrashCandidateDelegate::lines(const QModelIndex& index)
{
    std::vector<Line> shown{
        {Line::name, index.data(Qt::DisplayRole).toString()},
        {Line::size, index.data(TrashCandidateListModel::sizeTextRole).toString()},
        {Line::location, index.data(TrashCandidateListModel::locationTextRole).toString()},
    };
    if (const QVariant note = index.data(TrashCandidateListModel::noteRole); note.isValid())
        shown.push_back({Line::note, note.toString()});
    if (const QVariant caution = index.data(TrashCandidateListModel::cautionRole); caution.isValid())
        shown.push_back({Line::caution, caution.toString()});
    return shown;
}

TrashCandidateDelegate::TrashCandidateDelegate(int textWidth, QObject* parent)
    : QStyledItemDelegate(parent), textWidth_(textWidth), nameFont_(textStyleFont(TextStyle::headline)),
      bodyFont_(QApplication::font()), captionFont_(textStyleFont(TextStyle::caption))
{
}

const QFont& TrashCandidateDelegate::font(Line::Kind kind) const
{
    switch (kind) {
    case Line::name: return nameFont_;
    case Line::note:
    case Line::caution: return captionFont_;
    case Line::size:
    case Line::location: break;
    }
    return bodyFont_;
}

int TrashCandidateDelegate::cautionIndent() const
{
    return cautionGlyph + cautionGlyphGap;
}

int TrashCandidateDelegate::height(const Line& line) const
{
    const QFontMetrics metrics(font(line.kind));
    if (!wraps(line.kind))
        return metrics.height();
    QHash<QString, int>& known = line.kind == Line::note ? noteHeights_ : cautionHeights_;
    if (const auto found = known.constFind(line.text); found != known.constEnd())
        return *found;
    const int width = textWidth_ - (line.kind == Line::caution ? cautionIndent() : 0);
    const int measured = metrics.horizontalAdvance(line.text) <= width
                             ? metrics.height()
                             : metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, line.text).height();
    known.insert(line.text, measured);
    return measured;
}

QSize TrashCandidateDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    int total = 0;
    const std::vector<Line> shown = lines(index);
    for (const Line& line : shown)
        total += height(line);
    total += lineGap * static_cast<int>(shown.size() - 1);
    total = std::max(total, iconSide);
    const bool last = index.row() == index.model()->rowCount(index.parent()) - 1;
    return {textLeft() + textWidth_, total + (last ? 0 : rowGap)};
}

QIcon TrashCandidateDelegate::icon(const QModelIndex& index) const
{
    const bool folder = index.data(TrashCandidateListModel::isDirectoryRole).toBool();
    const QString name = index.data(TrashCandidateListModel::iconNameRole).toString();
    const QString key = name.isEmpty() ? (folder ? QStringLiteral(":folder") : QStringLiteral(":file")) : name;
    if (const auto found = icons_.constFind(key); found != icons_.constEnd())
        return *found;
    const QIcon standard = QApplication::style()->standardIcon(folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    QIcon themed;
    if (!name.isEmpty()) {
        const QString generic = index.data(TrashCandidateListModel::genericIconNameRole).toString();
        themed = QIcon::fromTheme(name, QIcon::fromTheme(generic, standard));
    }
    const QIcon chosen = themed.isNull() ? standard : themed;
    icons_.insert(key, chosen);
    return chosen;
}

void TrashCandidateDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    painter->save();
    const QRect cell = option.rect;
    if (option.state & QStyle::State_Selected) {
        QColor highlight = option.palette.color(QPalette::Highlight);
        highlight.setAlphaF(0.18f);
        const int bottom = index.row() == index.model()->rowCount(index.parent()) - 1 ? 0 : rowGap;
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(highlight);
        painter->drawRoundedRect(cell.adjusted(0, -2, 0, -bottom + 2), 6, 6);
    }
    icon(index).paint(painter, QRect(cell.left(), cell.top(), iconSide, iconSide));

    int y = cell.top();
    const int left = cell.left() + textLeft();
    for (const Line& line : lines(index)) {
        const int lineHeight = height(line);
        painter->setFont(font(line.kind));
        switch (line.kind) {
        case Line::name:
        case Line::size:
            painter->setPen(option.palette.color(QPalette::Text));
            painter->drawText(QRect(left, y, textWidth_, lineHeight), Qt::AlignLeft | Qt::AlignTop,
                              QFontMetrics(font(line.kind)).elidedText(line.text, Qt::ElideRight, textWidth_));
            break;
        case Line::location:
            painter->setPen(textColor(TextEmphasis::secondary));
            // The whole path is the row's tooltip and what Copy takes.
            painter->drawText(QRect(left, y, textWidth_, lineHeight), Qt::AlignLeft | Qt::AlignTop,
                              QFontMetrics(font(line.kind)).elidedText(line.text, Qt::ElideMiddle, textWidth_));
            break;
        case Line::note:
            painter->setPen(textColor(TextEmphasis::secondary));
            painter->drawText(QRect(left, y, textWidth_, lineHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                              line.text);
            break;
        case Line::caution: {
            const QFontMetrics metrics(font(line.kind));
            const QPixmap glyph = SymbolIcons::pixmap("exclamationmark.triangle.fill", cautionGlyph, NamedColor::orange,
                                                      painter->device()->devicePixelRatioF());
            painter->drawPixmap(left, y + (metrics.height() - cautionGlyph) / 2, glyph);
            painter->setPen(NamedColor::orange);
            painter->drawText(QRect(left + cautionIndent(), y, textWidth_ - cautionIndent(), lineHeight),
                              Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, line.text);
            break;
        }
        }
        y += lineHeight + lineGap;
    }
    painter->restore();
}
