#pragma once

#include "ui/components/TextStyle.h"

#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLayoutItem>
#include <QProgressBar>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

// Small pieces shared by the measuring screens of this folder.

// Makes `area` a borderless vertical page and returns the page's column (16 points of
// inset and spacing).
inline QVBoxLayout* makeScrollPage(QScrollArea* area)
{
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
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
    auto* spinner = new QProgressBar;
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
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
