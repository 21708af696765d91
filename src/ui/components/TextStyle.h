#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// Semantic text styles, scaled from the application font so that the relative
// sizes stay as designed whatever the desktop's base size is.
enum class TextStyle { largeTitle, title, title2, title3, headline, body, callout, subheadline, footnote, caption, caption2 };

QFont textStyleFont(TextStyle style, QFont::Weight weight = QFont::Normal);
// Sets the font of `widget` to the style.
void applyTextStyle(QWidget* widget, TextStyle style, QFont::Weight weight = QFont::Normal);

// Hierarchical text colours derived from the palette's text colour.
enum class TextEmphasis { primary, secondary, tertiary };
QColor textColor(TextEmphasis emphasis);
void applyTextColor(QWidget* widget, const QColor& color);

// Named colours used for tints and warnings.
namespace NamedColor {
inline const QColor red{255, 59, 48};
inline const QColor orange{230, 126, 0};
inline const QColor green{40, 167, 69};
inline const QColor blue{0, 122, 255};
} // namespace NamedColor
