#include "ui/components/FolderTreeRow.h"

#include "analysis/ByteFormatter.h"
#include "analysis/PercentFormatter.h"
#include "app/QtText.h"
#include "ui/components/LocaleText.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/UsageBar.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>

namespace {

QFont captionFont() { return textStyleFont(TextStyle::caption); }

QRect centred(int left, const QRect& content, int width, int height)
{
    return {left, content.top() + (content.height() - height) / 2, width, height};
}

} // namespace

FolderTreeRow::Layout FolderTreeRow::layout(const QRect& rowRect, int nameWidth, int restrictionWidth)
{
    const QRect content = rowRect.adjusted(horizontalInset, verticalPadding, -horizontalInset, -verticalPadding);
    Layout result;
    result.icon = centred(content.left(), content, iconSize, iconSize);

    const int trailing = content.left() + content.width();
    result.fileCount = QRect(trailing - fileCountWidth, content.top(), fileCountWidth, content.height());
    result.size = QRect(result.fileCount.left() - spacing - sizeWidth, content.top(), sizeWidth, content.height());
    result.percent = QRect(result.size.left() - spacing - percentWidth, content.top(), percentWidth, content.height());
    result.bar = centred(result.percent.left() - spacing - barWidth, content, barWidth, barHeight);

    const int nameLeft = result.icon.left() + iconSize + spacing;
    const int leadingEnd = result.bar.left() - spacing - minimumGap - spacing;
    const int available = std::max(0, leadingEnd - nameLeft);
    const int labelWidth = std::min(std::max(0, restrictionWidth), available);
    const int nameRoom = labelWidth > 0 ? std::max(0, available - labelWidth - spacing) : available;
    result.name = QRect(nameLeft, content.top(), std::clamp(nameWidth, 0, nameRoom), content.height());
    if (labelWidth > 0)
        result.restriction = QRect(result.name.left() + result.name.width() + spacing, content.top(), labelWidth,
                                   content.height());
    return result;
}

int FolderTreeRow::minimumWidth()
{
    return 2 * horizontalInset + iconSize + spacing + spacing + minimumGap + spacing + barWidth + spacing +
           percentWidth + spacing + sizeWidth + spacing + fileCountWidth;
}

int FolderTreeRow::height(const QFont& font)
{
    // Room around the tallest element, as list rows have.
    return std::max(QFontMetrics(font).height(), iconSize) + 2 * verticalPadding + 6;
}

double FolderTreeRow::share(const FolderTreeModel::Row& row)
{
    if (row.parentTotal <= 0)
        return 0;
    return static_cast<double>(row.folder.totalAllocated) / static_cast<double>(row.parentTotal);
}

QString FolderTreeRow::nameText(const FolderItem& folder)
{
    return qstr(folder.parentID ? folder.name : folder.path);
}

QString FolderTreeRow::percentText(const FolderTreeModel::Row& row)
{
    return qstr(PercentFormatter::string(share(row), 0));
}

QString FolderTreeRow::sizeText(const FolderItem& folder)
{
    return qstr(ByteFormatter::string(folder.totalAllocated));
}

QString FolderTreeRow::fileCountText(const FolderItem& folder)
{
    return LocaleText::count(folder.fileCount, QStringLiteral("file"), QStringLiteral("files"));
}

QString FolderTreeRow::restrictionText()
{
    return QStringLiteral("Access Restricted");
}

void FolderTreeRow::paint(QPainter& painter, const QRect& rowRect, const FolderTreeModel::Row& row,
                          const QPalette& palette, bool selected)
{
    const FolderItem& folder = row.folder;
    const QFont bodyFont = QApplication::font();
    const QFont caption = captionFont();
    const QString name = nameText(folder);
    // Measured for the device drawn on, whose resolution may differ from the screen's.
    const QFontMetrics bodyMetrics(bodyFont, painter.device());
    const QFontMetrics captionMetrics(caption, painter.device());
    const int restrictionWidth = folder.isRestricted ? captionMetrics.horizontalAdvance(restrictionText()) + 1 : 0;
    const Layout parts = layout(rowRect, bodyMetrics.horizontalAdvance(name) + 1, restrictionWidth);

    const QColor highlighted = palette.color(QPalette::HighlightedText);
    auto colour = [&](const QColor& normal) { return selected ? highlighted : normal; };
    const QColor secondary = colour(textColor(TextEmphasis::secondary));
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;

    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    const QPixmap icon = folder.isRestricted ? SymbolIcons::pixmap("lock.fill", iconSize, colour(NamedColor::orange), ratio)
                                             : SymbolIcons::pixmap("folder.fill", iconSize, colour(accentColor()), ratio);
    painter.drawPixmap(parts.icon.topLeft(), icon);

    const int leftAligned = Qt::AlignLeft | Qt::AlignVCenter;
    const int trailingAligned = Qt::AlignRight | Qt::AlignVCenter;
    painter.setFont(bodyFont);
    painter.setPen(colour(palette.color(QPalette::Text)));
    painter.drawText(parts.name, leftAligned,
                     bodyMetrics.elidedText(name, Qt::ElideMiddle, parts.name.width()));
    painter.drawText(parts.size, trailingAligned, sizeText(folder));

    painter.setFont(caption);
    if (!parts.restriction.isEmpty()) {
        painter.setPen(colour(NamedColor::orange));
        painter.drawText(parts.restriction, leftAligned,
                         captionMetrics.elidedText(restrictionText(), Qt::ElideRight, parts.restriction.width()));
    }
    painter.setPen(secondary);
    painter.drawText(parts.percent, trailingAligned, percentText(row));
    painter.drawText(parts.fileCount, trailingAligned, fileCountText(folder));

    UsageBar::paint(painter, QRectF(parts.bar), share(row), colour(accentColor()));
    painter.restore();
}
