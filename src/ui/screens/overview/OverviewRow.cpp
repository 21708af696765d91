#include "ui/screens/overview/OverviewRow.h"

#include "ui/components/ListLayout.h"

#include <algorithm>

namespace {

// The two cards side by side while both fit at their minimum widths, else one above
// the other; its height follows its width, so a change between the two ways of
// standing gets the cards their room in the same layout pass.
class PairLayout : public ListLayout {
public:
    PairLayout(QWidget* parent, int firstMinimum, int secondMinimum, int spacing)
        : ListLayout(parent), firstMinimum_(firstMinimum), secondMinimum_(secondMinimum)
    {
        setContentsMargins(0, 0, 0, 0);
        setSpacing(spacing);
    }

    int heightForWidth(int width) const override { return place(QRect(0, 0, width, 0), false); }
    // Any width: narrower than both cards, they stand one above the other.
    QSize minimumSize() const override { return {0, heightForWidth(firstMinimum_)}; }
    QSize sizeHint() const override
    {
        const int width = firstMinimum_ + spacing() + secondMinimum_;
        return {width, heightForWidth(width)};
    }
    void setGeometry(const QRect& rect) override
    {
        QLayout::setGeometry(rect);
        place(rect, true);
    }

    bool sideBySide(int width) const
    {
        return OverviewRow::fitsSideBySide(width, firstMinimum_, secondMinimum_, spacing());
    }

private:
    int place(const QRect& rect, bool apply) const
    {
        if (items().size() != 2)
            return 0;
        QLayoutItem* first = items()[0];
        QLayoutItem* second = items()[1];
        if (sideBySide(rect.width())) {
            // Each card its half, but never below its minimum.
            const int room = rect.width() - spacing();
            int firstWidth = std::max(firstMinimum_, room / 2);
            if (room - firstWidth < secondMinimum_)
                firstWidth = room - secondMinimum_;
            const int secondWidth = room - firstWidth;
            const int firstHeight = heightAt(first, firstWidth);
            const int secondHeight = heightAt(second, secondWidth);
            if (apply) {
                first->setGeometry(QRect(rect.x(), rect.y(), firstWidth, firstHeight));
                second->setGeometry(QRect(rect.x() + firstWidth + spacing(), rect.y(), secondWidth, secondHeight));
            }
            return std::max(firstHeight, secondHeight);
        }
        const int firstHeight = heightAt(first, rect.width());
        const int secondHeight = heightAt(second, rect.width());
        if (apply) {
            first->setGeometry(QRect(rect.x(), rect.y(), rect.width(), firstHeight));
            second->setGeometry(QRect(rect.x(), rect.y() + firstHeight + spacing(), rect.width(), secondHeight));
        }
        return firstHeight + spacing() + secondHeight;
    }

    int firstMinimum_;
    int secondMinimum_;
};

} // namespace

OverviewRow::OverviewRow(QWidget* first, int firstMinimum, QWidget* second, int secondMinimum, int spacing,
                         QWidget* parent)
    : QWidget(parent), first_(first), second_(second), layout_(new PairLayout(this, firstMinimum, secondMinimum, spacing))
{
    layout_->addWidget(first_);
    layout_->addWidget(second_);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

bool OverviewRow::isSideBySide() const
{
    return static_cast<const PairLayout*>(layout_)->sideBySide(width());
}

bool OverviewRow::fitsSideBySide(int width, int firstMinimum, int secondMinimum, int spacing)
{
    return width >= firstMinimum + spacing + secondMinimum;
}
