#include "ui/components/TextStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// Sizes relative to a body size of 13.
double relativeSize(TextStyle style)
{
    switch (style) {
    case TextStyle::largeTitle: return 26.0 / 13;
    case TextStyle::title: return 22.0 / 13;
    case TextStyle::title2: return 17.0 / 13;
    case TextStyle::title3: return 15.0 / 13;
    case TextStyle::headline: return 1.0;
    case TextStyle::body: return 1.0;
    case TextStyle::callout: return 12.0 / 13;
    case TextStyle::subheadline: return 11.0 / 13;
    case TextStyle::footnote: return 10.0 / 13;
    case TextStyle::caption: return 10.0 / 13;
    case TextStyle::caption2: return 9.5 / 13;
    }
    return 1.0;
}

} // namespace

QFont textStyleFont(TextStyle style, QFont::Weight weight)
{
    QFont font = QApplication::font();
    const double base = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    font.setPointSizeF(base * relativeSize(style));
    if (style == TextStyle::headline && weight == QFont::Normal)
        weight = QFont::DemiBold;
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(TextStyle style)
{
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(textStyleFont(style).pointSizeF());
    return mono;
}

int textLineHeight(const QFont& font)
{
    const QFontMetricsF metrics(font);
    return std::max(QFontMetrics(font).height(),
                    static_cast<int>(std::ceil(metrics.ascent() + metrics.descent())));
}

void applyTextStyle(QWidget* widget, TextStyle style, QFont::Weight weight)
{
    widget->setFont(textStyleFont(style, weight));
}

QColor textColor(TextEmphasis emphasis)
{
    QColor color = QApplication::palette().color(QPalette::WindowText);
    switch (emphasis) {
    case TextEmphasis::primary: break;
    case TextEmphasis::secondary: color.setAlphaF(0.62f); break;
    case TextEmphasis::tertiary: color.setAlphaF(0.42f); break;
    case TextEmphasis::quaternary: color.setAlphaF(0.14f); break;
    }
    return color;
}

QColor accentColor()
{
    return QApplication::palette().color(QPalette::Highlight);
}

void applyTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}
