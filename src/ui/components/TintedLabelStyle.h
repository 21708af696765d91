#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

// Builds labels whose icon alone takes a colour: the title keeps the font and
// text colour of wherever the label is placed.
class TintedLabelStyle {
public:
    explicit TintedLabelStyle(const QColor& tint) : tint_(tint) {}

    const QColor& tint() const { return tint_; }

    // The icon (object name "icon", sized to the inherited font) and the title
    // (object name "title") side by side, 6 pixels apart, vertically centred.
    QWidget* makeBody(const QString& symbolName, const QString& title, QWidget* parent = nullptr) const;

    static constexpr int spacing = 6;

private:
    QColor tint_;
};
