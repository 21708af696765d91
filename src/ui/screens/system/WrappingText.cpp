#include "ui/screens/system/WrappingText.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

#include <cmath>
#include <memory>

WrappingText::WrappingText(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setFocusPolicy(Qt::NoFocus);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QPalette clear = palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    setPalette(clear);
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappingText::setText(const QString& text)
{
    if (text == toPlainText())
        return;
    setPlainText(text);
    updateGeometry();
}

int WrappingText::heightForWidth(int width) const
{
    // Measured on a copy: laying out the shown document at another width would move its text.
    const std::unique_ptr<QTextDocument> measure(document()->clone());
    measure->setTextWidth(std::max(width, 1));
    return static_cast<int>(std::ceil(measure->size().height()));
}

QSize WrappingText::sizeHint() const
{
    const int width = this->width() > 0 ? this->width() : 200;
    return {width, heightForWidth(width)};
}

QSize WrappingText::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void WrappingText::resizeEvent(QResizeEvent* event)
{
    QTextEdit::resizeEvent(event);
    // A new width may mean another number of lines: the layout asks for the height again.
    const int wanted = heightForWidth(width());
    if (wanted != height())
        updateGeometry();
}
