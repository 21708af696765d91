#include "ui/components/WrappingCheckBox.h"

#include <QFontMetrics>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

WrappingCheckBox::WrappingCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QStringList WrappingCheckBox::lines(int width) const
{
    // Broken at spaces only: a list of folders must not break after a slash.
    QString shown = text();
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&')).replace(QChar(1), QLatin1Char('&'));
    const QFontMetrics metrics = fontMetrics();
    const int room = std::max(1, width - textLeft());
    QStringList result;
    QString line;
    for (const QString& word : shown.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > room) {
            result << line;
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty() || result.isEmpty())
        result << line;
    return result;
}

int WrappingCheckBox::textLeft() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    option.rect = QRect(0, 0, 1000, 100);
    return style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this).left();
}

int WrappingCheckBox::lineHeight() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return std::max(fontMetrics().height(), style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this)) + 2;
}

int WrappingCheckBox::heightForWidth(int width) const
{
    const auto count = static_cast<int>(lines(width).size());
    return lineHeight() + (count - 1) * fontMetrics().lineSpacing();
}

QSize WrappingCheckBox::sizeHint() const
{
    // As wide as the text on one line, but never more than a modest column.
    const int width = std::min(QCheckBox::sizeHint().width(), 420);
    return {width, heightForWidth(width)};
}

QSize WrappingCheckBox::minimumSizeHint() const
{
    const int width = std::min(QCheckBox::sizeHint().width(), 160);
    return {width, heightForWidth(width)};
}

void WrappingCheckBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The box alone, level with the first line; the lines are drawn beside it.
    option.text.clear();
    option.rect.setHeight(lineHeight());
    painter.drawControl(QStyle::CE_CheckBox, option);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QFontMetrics metrics = fontMetrics();
    int top = (lineHeight() - metrics.height()) / 2;
    for (const QString& line : lines(width())) {
        painter.drawText(QRect(textLeft(), top, width() - textLeft(), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         line);
        top += metrics.lineSpacing();
    }
}

bool WrappingCheckBox::hitButton(const QPoint& position) const
{
    return rect().contains(position);
}
