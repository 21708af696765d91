#pragma once

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QLabel>
#include <QScrollBar>
#include <QStringList>
#include <QWidget>

#include <string>

// The widgets under `root` that a person would see cut, one a line: a button or a
// line of text narrower or lower than it needs, or one reaching past the edge of
// the area that shows it (the root, or the scroll area it scrolls in).
inline std::string cutWidgets(QWidget& root)
{
    QStringList cut;
    const auto describe = [](QWidget* widget) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        return QString::fromLatin1(widget->metaObject()->className()) + " \"" + text.left(40) + "\" " +
               QString::number(widget->width()) + "x" + QString::number(widget->height());
    };
    for (QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&root) || widget->width() <= 0)
            continue;
        auto* label = qobject_cast<QLabel*>(widget);
        auto* button = qobject_cast<QAbstractButton*>(widget);
        if (!label && !button)
            continue;
        if (label && label->text().isEmpty() && !label->pixmap().isNull())
            continue;
        QSize needed = widget->minimumSizeHint();
        if (label && label->wordWrap())
            needed = QSize(0, label->heightForWidth(label->width()));
        else if (label)
            needed = label->sizeHint();
        if (widget->width() < needed.width() || widget->height() < needed.height())
            cut << describe(widget) + " needs " + QString::number(needed.width()) + "x" +
                       QString::number(needed.height());
        // The area that shows it: the nearest scrolled viewport, else the root.
        QWidget* area = &root;
        for (QWidget* up = widget->parentWidget(); up && up != &root; up = up->parentWidget())
            if (auto* scroll = qobject_cast<QAbstractScrollArea*>(up->parentWidget()); scroll && scroll->viewport() == up) {
                area = up;
                break;
            }
        const QRect shown(widget->mapTo(area, QPoint(0, 0)), widget->size());
        const bool scrolls = area != &root;
        if (shown.right() >= area->width() + (scrolls ? 0 : 1) && !(scrolls && qobject_cast<QAbstractScrollArea*>(
                                                                         area->parentWidget())->horizontalScrollBar()->isVisible()))
            cut << describe(widget) + " reaches past the right edge";
    }
    return cut.join(QLatin1Char('\n')).toStdString();
}
