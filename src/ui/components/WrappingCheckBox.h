#pragma once

#include <QCheckBox>
#include <QStringList>

// A check box whose text wraps onto as many lines as its width needs, so that a long
// text makes the row taller rather than wider.
class WrappingCheckBox : public QCheckBox {
public:
    explicit WrappingCheckBox(const QString& text, QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The text as drawn at `width`, one entry a line.
    QStringList lines(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    int textLeft() const;
    int lineHeight() const;
};
