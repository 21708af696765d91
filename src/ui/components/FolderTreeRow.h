#pragma once

#include "ui/components/FolderTreeModel.h"

#include <QPalette>
#include <QRect>
#include <QString>

class QFont;
class QPainter;

// One line of the folder tree, drawn without a widget of its own so that trees of
// thousands of folders stay cheap: icon, name, restriction label, then share bar,
// percentage, size and file count in fixed columns at the trailing edge. The tree
// view draws the indentation and the expand/collapse chevron before it.
class FolderTreeRow {
public:
    static constexpr int horizontalInset = 8;
    static constexpr int verticalPadding = 1;
    static constexpr int spacing = 6;
    // Per level of the tree, the chevron's room included.
    static constexpr int indentation = 20;
    static constexpr int iconSize = 16;
    static constexpr int minimumGap = 12;
    static constexpr int barWidth = 90;
    static constexpr int barHeight = 6;
    static constexpr int percentWidth = 40;
    static constexpr int sizeWidth = 80;
    static constexpr int fileCountWidth = 100;

    struct Layout {
        QRect icon;
        QRect name;
        QRect restriction;   // empty when the folder is not restricted
        QRect bar;
        QRect percent;
        QRect size;
        QRect fileCount;

        friend bool operator==(const Layout&, const Layout&) = default;
    };

    // Where everything goes in `rowRect`, given the natural widths of the name and
    // of the restriction label (0 when the folder is not restricted). The name
    // gives way first when space runs short.
    static Layout layout(const QRect& rowRect, int nameWidth, int restrictionWidth);
    // Width a row needs to show its fixed parts without overlap, past the indentation.
    static int minimumWidth();
    static int height(const QFont& font);

    // The folder's allocated total over the parent total; 0 without a parent total.
    static double share(const FolderTreeModel::Row& row);
    // The full path for a folder without a parent, its name otherwise.
    static QString nameText(const FolderItem& folder);
    static QString percentText(const FolderTreeModel::Row& row);
    static QString sizeText(const FolderItem& folder);
    static QString fileCountText(const FolderItem& folder);
    static QString restrictionText();

    // Paints the row; a selected row is drawn in the palette's highlighted text colour.
    static void paint(QPainter& painter, const QRect& rowRect, const FolderTreeModel::Row& row,
                      const QPalette& palette, bool selected);
};
