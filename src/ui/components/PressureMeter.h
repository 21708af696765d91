#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

// A row of 20 small segments lit up to a fraction, followed by a short label; lit
// segments and the label share one tint.
class PressureMeter : public QWidget {
    Q_OBJECT

public:
    PressureMeter(double fraction, const QString& label, const QColor& tint, QWidget* parent = nullptr);

    double fraction() const { return fraction_; }
    QString label() const { return label_; }
    QColor tint() const { return tint_; }
    void setReading(double fraction, const QString& label, const QColor& tint);

    static constexpr int segmentCount = 20;
    static constexpr int segmentWidth = 10;
    static constexpr int segmentHeight = 16;
    static constexpr int segmentSpacing = 2;
    static constexpr int labelSpacing = 10;
    static constexpr qreal segmentRadius = 2;

    // Segment `index` is lit when the fraction is strictly above index / 20; a NaN
    // fraction lights none.
    static bool isLit(int index, double fraction);
    static int litCount(double fraction);
    // Where segment `index` sits, with the row's top left at the origin.
    static QRectF segmentRect(int index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;

    double fraction_;
    QString label_;
    QColor tint_;
};
