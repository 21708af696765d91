#pragma once

#include <QAbstractButton>

// A button whose look is the widgets laid out inside it: the whole rectangle takes
// the click, and the pointer over it is marked by a faint highlight.
class RowButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit RowButton(QWidget* parent = nullptr);

    // Lets clicks on a child reach the button instead of the child.
    static void passClicksThrough(QWidget* child);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void childEvent(QChildEvent* event) override;
};
