#pragma once

#include <QFrame>

class QPainter;

// The common look of the screens' cards: a slightly raised rounded surface with a
// thin separator-coloured border drawn inside its edge, so the border never
// changes the card's outer size.
class CardFrame : public QFrame {
    Q_OBJECT

public:
    explicit CardFrame(QWidget* parent = nullptr);

    static constexpr qreal cornerRadius = 12;
    static constexpr qreal borderWidth = 1;

    // Paints the surface and its border into `rect`.
    static void paintSurface(QPainter& painter, const QRectF& rect, const QPalette& palette);
    // The outline the border is stroked along: inset by half the line width.
    static QRectF borderOutline(const QRectF& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
};
