#pragma once

#include <QWidget>

class QBoxLayout;

// Two cards side by side while both fit at their minimum widths, else one above the other.
class OverviewRow : public QWidget {
    Q_OBJECT

public:
    OverviewRow(QWidget* first, int firstMinimum, QWidget* second, int secondMinimum, int spacing,
                QWidget* parent = nullptr);

    bool isSideBySide() const { return sideBySide_; }
    static bool fitsSideBySide(int width, int firstMinimum, int secondMinimum, int spacing);

    // Any width: narrower than both cards, the row stacks them instead.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrange(bool sideBySide);

    QWidget* first_;
    QWidget* second_;
    int firstMinimum_;
    int secondMinimum_;
    int spacing_;
    bool sideBySide_ = false;
    QBoxLayout* layout_;
};
