#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// Where the main window opens: the size and place it had when it was last closed,
// kept on a screen that is there now.
struct WindowPlacement {
    QSize size;
    std::optional<QPoint> position; // absent: the window manager chooses

    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;

    // `stored` is the window's frame position with its content size, as last saved;
    // `screens` are the screens' available areas, the primary first. A window whose
    // title bar would lie on no screen is centred on the primary one; a window larger
    // than its screen is shrunk to it, never below `minimum`.
    static WindowPlacement restored(std::optional<QRect> stored, const QList<QRect>& screens, QSize minimum,
                                    QSize defaultSize);

    // The top left corner that centres a window of `size` over `parent`.
    static QPoint centredOver(const QRect& parent, QSize size);

    // How much of the title bar must lie on a screen for the window to stay where it was.
    static constexpr int titleBarHeight = 32;
    static constexpr int visibleTitleWidth = 100;
};
