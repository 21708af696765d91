#pragma once

#include <QColor>
#include <QWidget>

// A capsule filled to a share of a whole on a faint capsule track, as wide as its
// container and as tall as asked.
class UsageBar : public QWidget {
    Q_OBJECT

public:
    UsageBar(double fraction, const QColor& tint, int height, QWidget* parent = nullptr);

    double fraction() const { return fraction_; }
    void setFraction(double fraction);
    void setTint(const QColor& tint);

    // The drawn share: not finite -> 0, then clamped to 0...1.
    static double drawnFraction(double fraction);
    // Width of the fill in a track `width` wide.
    static double fillWidth(double fraction, double width);
    // Paints the bar into `rect`, for delegates that draw rows without widgets.
    static void paint(QPainter& painter, const QRectF& rect, double fraction, const QColor& tint);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateAccessibleValue();

    double fraction_;
    QColor tint_;
    int height_;
};
