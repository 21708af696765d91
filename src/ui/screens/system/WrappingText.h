#pragma once

#include <QTextEdit>

// Plain text the user can select, wrapped inside the width it is given: between
// words where it can, anywhere inside a word too long for a line (identifiers,
// paths), so that it never asks for more width than its column has. Its height
// follows its width.
class WrappingText : public QTextEdit {
    Q_OBJECT

public:
    explicit WrappingText(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return toPlainText(); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
};
