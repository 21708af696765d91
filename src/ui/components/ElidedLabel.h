#pragma once

#include <QFrame>
#include <QString>

// One line of text shortened with an ellipsis where it does not fit: in the middle
// for names, at the head for paths whose end matters.
class ElidedLabel : public QFrame {
    Q_OBJECT

public:
    explicit ElidedLabel(const QString& text = {}, Qt::TextElideMode mode = Qt::ElideMiddle, QWidget* parent = nullptr);

    // A path as a row's value: as wide as its text where there is room, shortened in the
    // middle where there is not, whole in its tooltip. A long path (a data folder set far
    // below the home) must not widen the whole screen.
    static ElidedLabel* forPath(const QString& path, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);   // a tooltip that showed the whole text follows it
    // The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    Qt::TextElideMode mode_;
};
