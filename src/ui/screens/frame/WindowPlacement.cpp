#include "ui/screens/frame/WindowPlacement.h"

#include <algorithm>

namespace {

QSize fitted(QSize size, QSize minimum, const QRect& screen)
{
    return {std::max(minimum.width(), std::min(size.width(), screen.width())),
            std::max(minimum.height(), std::min(size.height(), screen.height()))};
}

// The window moved as little as needed to lie wholly on the screen; a window larger
// than the screen keeps its top left corner on it.
QPoint inside(QPoint position, QSize size, const QRect& screen)
{
    const int x = std::max(screen.left(), std::min(position.x(), screen.left() + screen.width() - size.width()));
    const int y = std::max(screen.top(), std::min(position.y(), screen.top() + screen.height() - size.height()));
    return {x, y};
}

} // namespace

WindowPlacement WindowPlacement::restored(std::optional<QRect> stored, const QList<QRect>& screens, QSize minimum,
                                          QSize defaultSize)
{
    if (!stored || stored->width() <= 0 || stored->height() <= 0 || screens.isEmpty())
        return {defaultSize, std::nullopt};
    const QRect titleBar(stored->topLeft(), QSize(stored->width(), titleBarHeight));
    for (const QRect& screen : screens) {
        const QRect shown = titleBar.intersected(screen);
        if (shown.width() >= std::min(visibleTitleWidth, stored->width()) && shown.height() >= titleBarHeight / 2) {
            const QSize size = fitted(stored->size(), minimum, screen);
            return {size, inside(stored->topLeft(), size, screen)};
        }
    }
    const QRect& primary = screens.front();
    const QSize size = fitted(stored->size(), minimum, primary);
    return {size, QPoint(primary.left() + (primary.width() - size.width()) / 2,
                         primary.top() + (primary.height() - size.height()) / 2)};
}

QPoint WindowPlacement::centredOver(const QRect& parent, QSize size)
{
    return {parent.left() + (parent.width() - size.width()) / 2, parent.top() + (parent.height() - size.height()) / 2};
}
