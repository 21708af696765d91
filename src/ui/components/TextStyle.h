#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// Semantic text styles, scaled from the application font so that the relative
// sizes stay as designed whatever the desktop's base size is.
enum class TextStyle { largeTitle, title, title2, title3, headline, body, callout, subheadline, footnote, caption, caption2 };

QFont textStyleFont(TextStyle style, QFont::Weight weight = QFont::Normal);
// The system's fixed-width font at the style's size, for paths and commands.
QFont monospacedFont(TextStyle style);
// The height one line of the font takes when drawn, descenders and underscores
// included; QFontMetrics::height() rounds ascent and descent apart and can be a
// pixel short at small sizes.
int textLineHeight(const QFont& font);
// Sets the font of `widget` to the style.
void applyTextStyle(QWidget* widget, TextStyle style, QFont::Weight weight = QFont::Normal);

// Hierarchical text colours derived from the palette's text colour.
enum class TextEmphasis { primary, secondary, tertiary, quaternary };
QColor textColor(TextEmphasis emphasis);
void applyTextColor(QWidget* widget, const QColor& color);

// The palette's accent: selection, folder icons, default tints.
QColor accentColor();

// Named colours used for tints and warnings.
namespace NamedColor {
inline const QColor red{255, 59, 48};
inline const QColor orange{230, 126, 0};
inline const QColor yellow{255, 204, 0};
inline const QColor green{40, 167, 69};
inline const QColor mint{0, 199, 190};
inline const QColor teal{48, 176, 199};
inline const QColor cyan{50, 173, 230};
inline const QColor blue{0, 122, 255};
inline const QColor indigo{88, 86, 214};
inline const QColor purple{175, 82, 222};
inline const QColor pink{255, 45, 85};
inline const QColor brown{162, 132, 94};
inline const QColor gray{142, 142, 147};
} // namespace NamedColor
