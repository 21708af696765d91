#pragma once

#include <QFont>
#include <QHash>
#include <QIcon>
#include <QStyledItemDelegate>

#include <vector>

// Draws one row of the removal sheet: the item's icon beside its name, size and
// location, then its note and the safety caution when it has them. Heights of
// wrapped texts are kept per text, so that thousands of rows with the same note
// cost a few measurements.
class TrashCandidateDelegate : public QStyledItemDelegate {
public:
    static constexpr int iconSide = 32;
    static constexpr int iconGap = 10;
    static constexpr int lineGap = 3;
    static constexpr int rowGap = 12;

    struct Line {
        enum Kind { name, size, location, note, caution };
        Kind kind;
        QString text;
    };
    // The lines of a row, top to bottom.
    static std::vector<Line> lines(const QModelIndex& index);

    // `textWidth` is the room beside the icon.
    TrashCandidateDelegate(int textWidth, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const QFont& font(Line::Kind kind) const;
    int textLeft() const { return iconSide + iconGap; }
    int cautionIndent() const;
    int height(const Line& line) const;
    QIcon icon(const QModelIndex& index) const;

    int textWidth_;
    QFont nameFont_;
    QFont bodyFont_;
    QFont captionFont_;
    mutable QHash<QString, int> noteHeights_;
    mutable QHash<QString, int> cautionHeights_;
    mutable QHash<QString, QIcon> icons_;
};
