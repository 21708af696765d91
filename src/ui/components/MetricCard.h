#pragma once

#include "ui/components/CardFrame.h"

#include <QColor>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>

class QFont;

// A tile showing one figure: a tinted symbol with a caption, a large value and an
// optional detail line. Given an action it acts as a button: a click anywhere on
// it, padding included, runs the action once.
class MetricCard : public CardFrame {
    Q_OBJECT

public:
    MetricCard(const QString& title, const QString& value, const std::optional<QString>& detail,
               const QString& symbolName, const QColor& tint, std::function<void()> action = {},
               QWidget* parent = nullptr);

    bool hasAction() const { return static_cast<bool>(action_); }
    // New figures for the same card; no detail hides the detail line.
    void setValue(const QString& value);
    void setDetail(const std::optional<QString>& detail);
    // The value and detail as drawn at the current size.
    QString shownValue() const;
    double shownValueScale() const;
    QString shownDetail() const;

    static constexpr int padding = 14;
    static constexpr int spacing = 6;
    static constexpr int minimumCardHeight = 92;
    static constexpr double minimumValueScale = 0.6;
    static constexpr int detailLineLimit = 2;

    // How much the value's font shrinks so that text `naturalWidth` wide at full
    // size fits `availableWidth`: never below the minimum scale, never above 1.
    static double valueScale(double naturalWidth, double availableWidth);
    // The detail as it fits in `lineLimit` wrapped lines of `width`: whole when it
    // fits, otherwise cut in the middle with an ellipsis.
    static QString fittedDetail(const QString& detail, const QFont& font, double width,
                                int lineLimit = detailLineLimit);
    // The narrowest width, up to `widest`, at which the detail wraps into `lineLimit` lines.
    static int detailWidth(const QString& detail, const QFont& font, int widest, int lineLimit = detailLineLimit);

    // The card's width at which its detail is shown whole, up to `widestDetail` for the text;
    // grids of cards use it as their narrowest column.
    int wholeDetailWidth() const;
    static constexpr int widestDetail = 220;
    // The narrowest column, at least `minimum`, that shows each card's detail whole.
    template <typename Cards>
    static int columnWidth(int minimum, const Cards& cards)
    {
        for (const MetricCard* card : cards)
            minimum = std::max(minimum, card->wholeDetailWidth());
        return minimum;
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void run();

    std::function<void()> action_;
    QWidget* value_;
    QWidget* detail_;
    bool pressed_ = false;
    bool keyboardFocus_ = false;
};
