#pragma once

#include "ui/components/BusyIndicator.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLayoutItem>
#include <QProgressBar>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

#include <string_view>

// Small pieces shared by the screens.

// How a scrolled page meets the width of its area.
enum class PageWidth {
    // Content wider than the area scrolls sideways.
    scrolls,
    // The content is as wide as the area, never wider: what does not fit wraps or is
    // shortened. For panels in a column of their own.
    follows,
};

// Makes `area` a borderless page that scrolls up and down and returns the page's column:
// 16 points of inset, `spacing` between its parts.
inline QVBoxLayout* makeScrollPage(QScrollArea* area, PageWidth width = PageWidth::scrolls, int spacing = 16)
{
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget;
    if (width == PageWidth::follows) {
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        page->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(spacing);
    area->setWidget(page);
    return column;
}

// Empties a layout that a screen refills from new data.
// Takes a widget off the screen and deletes it once the event that led here is
// over: the change may come from a button inside it, or a menu may still use it.
inline void discardWidget(QWidget* widget)
{
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

inline void clearLayout(QLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget())
            discardWidget(widget);
        delete item;
    }
}

// The screen's title at its top, as every screen shows it.
inline QLabel* makeScreenTitle(const QString& text, QWidget* parent = nullptr)
{
    auto* title = new QLabel(text, parent);
    title->setObjectName(QStringLiteral("screenTitle"));
    applyTextStyle(title, TextStyle::title2, QFont::DemiBold);
    return title;
}

// A one-pixel line between sections of a screen.
inline QFrame* divider(QWidget* parent = nullptr)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    line->setFixedHeight(1);
    return line;
}

// The small indeterminate progress indicator beside a "…ing" line.
inline QProgressBar* smallSpinner()
{
    auto* spinner = new BusyIndicator;
    spinner->setFixedSize(60, 8);
    return spinner;
}

inline QLabel* styledLabel(const QString& text, TextStyle style, TextEmphasis emphasis,
                           QFont::Weight weight = QFont::Normal)
{
    auto* label = new QLabel(text);
    applyTextStyle(label, style, weight);
    applyTextColor(label, textColor(emphasis));
    return label;
}

// A flat button of a screen's toolbar: the symbol beside the title.
inline QToolButton* toolbarButton(const QString& title, std::string_view symbol, QWidget* parent,
                                  const QString& tip = QString())
{
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setIcon(SymbolIcons::icon(symbol));
    button->setToolTip(tip);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    return button;
}

// A toolbar button that stays down while its part of the screen is shown.
inline QToolButton* toolbarToggle(const QString& title, std::string_view symbol, QWidget* parent,
                                  const QString& tip = QString())
{
    QToolButton* button = toolbarButton(title, symbol, parent, tip);
    button->setCheckable(true);
    return button;
}

// An action drawn as a link: the symbol and the title in one colour, no frame.
inline QToolButton* linkButton(const QString& title, std::string_view symbol, QWidget* parent,
                               const QColor& color = accentColor())
{
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setIcon(SymbolIcons::icon(symbol, color));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    QPalette palette = button->palette();
    palette.setColor(QPalette::Active, QPalette::ButtonText, color);
    palette.setColor(QPalette::Inactive, QPalette::ButtonText, color);
    button->setPalette(palette);
    return button;
}
