#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QStringList>

#include <string_view>

// The program's own glyphs for the symbol names that screens and records use
// ("folder", "lock.shield.fill", ...), drawn from SVGs shipped inside the binary.
namespace SymbolIcons {

bool contains(std::string_view symbolName);
// Every shipped symbol name, sorted.
QStringList names();

// The glyph in the tint colour at size x size logical pixels; a null pixmap for an
// unknown name.
QPixmap pixmap(std::string_view symbolName, int size, const QColor& tint, qreal devicePixelRatio = 1.0);
// An icon that draws the glyph in the tint, or in the palette's text colour when no
// tint is given.
QIcon icon(std::string_view symbolName, const QColor& tint = QColor());

// The program's own icon.
QIcon applicationIcon();

} // namespace SymbolIcons
