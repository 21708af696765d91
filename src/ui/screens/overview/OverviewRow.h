#pragma once

#include <QWidget>

class QLayout;

// Two cards side by side while both fit at their minimum widths, else one above the other.
class OverviewRow : public QWidget {
    Q_OBJECT

public:
    OverviewRow(QWidget* first, int firstMinimum, QWidget* second, int secondMinimum, int spacing,
                QWidget* parent = nullptr);

    // At the row's present width.
    bool isSideBySide() const;
    static bool fitsSideBySide(int width, int firstMinimum, int secondMinimum, int spacing);

private:
    QWidget* first_;
    QWidget* second_;
    QLayout* layout_;
};
