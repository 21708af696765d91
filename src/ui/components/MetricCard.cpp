#include "ui/components/MetricCard.h"

#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QChar ellipsis(0x2026);

struct Laid {
    int lines = 0;
    // Of all lines as drawn: a descender or an underscore of the last line included.
    int height = 0;
};

Laid layOut(QTextLayout& layout, double width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    Laid laid;
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++laid.lines;
    }
    layout.endLayout();
    laid.height = static_cast<int>(std::ceil(y));
    return laid;
}

Laid laidOut(const QString& text, const QFont& font, double width)
{
    QTextLayout layout(text, font);
    return layOut(layout, width);
}

int lineCount(const QString& text, const QFont& font, double width)
{
    return laidOut(text, font, width).lines;
}

// The first and last characters of `text`, `kept` in all, around an ellipsis;
// never splits a surrogate pair.
QString cutInMiddle(const QString& text, qsizetype kept)
{
    QString head = text.left(kept - kept / 2);
    QString tail = text.right(kept / 2);
    if (!head.isEmpty() && head.back().isHighSurrogate())
        head.chop(1);
    if (!tail.isEmpty() && tail.front().isLowSurrogate())
        tail.remove(0, 1);
    return head + ellipsis + tail;
}

// A text the card draws itself, and redraws when it changes.
class CardText : public QWidget {
public:
    explicit CardText(const QString& text) : text_(text) {}

    void setText(const QString& text)
    {
        if (text == text_)
            return;
        text_ = text;
        updateGeometry();
        update();
    }

    const QString& text() const { return text_; }

protected:
    QString text_;
};

// One line of large text that shrinks to fit before it is cut at the end.
class ValueText : public CardText {
public:
    explicit ValueText(const QString& text) : CardText(text)
    {
        setObjectName(QStringLiteral("value"));
        setFont(textStyleFont(TextStyle::title2, QFont::DemiBold));
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override
    {
        return {static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(text_))), textLineHeight(font())};
    }
    QSize minimumSizeHint() const override { return {0, textLineHeight(font())}; }

    struct Fit {
        QFont font;
        QString text;
        double scale = 1;
    };

    Fit fit() const
    {
        const double available = width();
        const double natural = QFontMetricsF(font()).horizontalAdvance(text_);
        Fit result{font(), text_, MetricCard::valueScale(natural, available)};
        // Glyph widths do not shrink exactly in proportion to the size: step down
        // until the text really fits or the smallest size is reached.
        for (;;) {
            result.font.setPointSizeF(font().pointSizeF() * result.scale);
            if (result.scale <= MetricCard::minimumValueScale
                || QFontMetricsF(result.font).horizontalAdvance(text_) <= available)
                break;
            result.scale = std::max(MetricCard::minimumValueScale, result.scale - 0.02);
        }
        const QFontMetricsF metrics(result.font);
        if (metrics.horizontalAdvance(text_) > available)
            result.text = metrics.elidedText(text_, Qt::ElideRight, available);
        return result;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Fit shown = fit();
        QPainter painter(this);
        painter.setFont(shown.font);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown.text);
    }
};

// Wrapped secondary text of at most two lines, cut in the middle beyond that.
class DetailText : public CardText {
public:
    explicit DetailText(const QString& text) : CardText(text)
    {
        setObjectName(QStringLiteral("detail"));
        applyTextStyle(this, TextStyle::caption);
        applyTextColor(this, textColor(TextEmphasis::secondary));
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    QString shownText() const { return MetricCard::fittedDetail(text_, font(), width()); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        return std::max(textLineHeight(font()), laidOut(MetricCard::fittedDetail(text_, font(), width), font(), width).height);
    }
    QSize sizeHint() const override
    {
        // Modest, so that a long detail does not widen the card's column.
        const int natural = static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(text_)));
        const int width = std::min(natural, 220);
        return {width, heightForWidth(std::max(width, 1))};
    }
    QSize minimumSizeHint() const override { return {0, textLineHeight(font())}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QTextLayout layout(shownText(), font());
        layOut(layout, width());
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        layout.draw(&painter, QPointF(0, 0));
    }
};

} // namespace

MetricCard::MetricCard(const QString& title, const QString& value, const std::optional<QString>& detail,
                       const QString& symbolName, const QColor& tint, std::function<void()> action, QWidget* parent)
    : CardFrame(parent), action_(std::move(action)), value_(new ValueText(value)),
      detail_(new DetailText(detail.value_or(QString())))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);

    QWidget* caption = TintedLabelStyle(tint).makeBody(symbolName, title);
    caption->setObjectName(QStringLiteral("caption"));
    applyTextStyle(caption, TextStyle::subheadline);
    applyTextColor(caption, textColor(TextEmphasis::secondary));
    column->addWidget(caption);
    column->addWidget(value_);
    column->addWidget(detail_);
    detail_->setVisible(detail.has_value());
    column->addStretch(1);

    setMinimumHeight(minimumCardHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAccessibleName(title);
    setAccessibleDescription(value);
    if (action_) {
        setToolTip(QStringLiteral("Show details"));
        setFocusPolicy(Qt::TabFocus);
    }
}

QString MetricCard::shownValue() const { return static_cast<ValueText*>(value_)->fit().text; }

double MetricCard::shownValueScale() const { return static_cast<ValueText*>(value_)->fit().scale; }

QString MetricCard::shownDetail() const
{
    return detail_->isHidden() ? QString() : static_cast<DetailText*>(detail_)->shownText();
}

void MetricCard::setValue(const QString& value)
{
    static_cast<ValueText*>(value_)->setText(value);
    setAccessibleDescription(value);
}

void MetricCard::setDetail(const std::optional<QString>& detail)
{
    if (detail)
        static_cast<DetailText*>(detail_)->setText(*detail);
    detail_->setVisible(detail.has_value());
}

double MetricCard::valueScale(double naturalWidth, double availableWidth)
{
    if (naturalWidth <= 0 || naturalWidth <= availableWidth)
        return 1;
    return std::max(minimumValueScale, std::max(0.0, availableWidth) / naturalWidth);
}

QString MetricCard::fittedDetail(const QString& detail, const QFont& font, double width, int lineLimit)
{
    if (width <= 0 || lineCount(detail, font, width) <= lineLimit)
        return detail;
    qsizetype low = 0;
    qsizetype high = detail.size();
    while (low < high) {
        const qsizetype kept = (low + high + 1) / 2;
        if (lineCount(cutInMiddle(detail, kept), font, width) <= lineLimit)
            low = kept;
        else
            high = kept - 1;
    }
    return cutInMiddle(detail, low);
}

int MetricCard::detailWidth(const QString& detail, const QFont& font, int widest, int lineLimit)
{
    if (detail.isEmpty())
        return 0;
    if (lineCount(detail, font, widest) > lineLimit)
        return widest;
    int low = 1;
    int high = widest;
    while (low < high) {
        const int width = (low + high) / 2;
        if (lineCount(detail, font, width) <= lineLimit)
            high = width;
        else
            low = width + 1;
    }
    return low;
}

int MetricCard::wholeDetailWidth() const
{
    if (detail_->isHidden())
        return 0;
    return detailWidth(static_cast<DetailText*>(detail_)->text(), detail_->font(), widestDetail) + 2 * padding;
}

void MetricCard::run()
{
    // A copy, because the action may delete this card.
    const std::function<void()> action = action_;
    action();
}

void MetricCard::paintEvent(QPaintEvent* event)
{
    CardFrame::paintEvent(event);
    if (hasFocus() && keyboardFocus_) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(accentColor(), 2));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
    }
}

void MetricCard::focusInEvent(QFocusEvent* event)
{
    // The ring marks a card reached with the keyboard, not one focused by the
    // window opening.
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    CardFrame::focusInEvent(event);
    update();
}

void MetricCard::focusOutEvent(QFocusEvent* event)
{
    CardFrame::focusOutEvent(event);
    update();
}

void MetricCard::mousePressEvent(QMouseEvent* event)
{
    if (!action_ || event->button() != Qt::LeftButton) {
        CardFrame::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    event->accept();
}

void MetricCard::mouseReleaseEvent(QMouseEvent* event)
{
    if (!action_ || event->button() != Qt::LeftButton) {
        CardFrame::mouseReleaseEvent(event);
        return;
    }
    const bool clicked = pressed_ && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (clicked)
        run();
}

void MetricCard::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!action_) {
        CardFrame::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double-click is not a click of its own.
    pressed_ = false;
    event->accept();
}

void MetricCard::keyPressEvent(QKeyEvent* event)
{
    const bool activates = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (action_ && activates && !event->isAutoRepeat()) {
        event->accept();
        run();
        return;
    }
    CardFrame::keyPressEvent(event);
}
