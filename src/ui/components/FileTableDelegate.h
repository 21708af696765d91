#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <QStyledItemDelegate>

// Draws the file table's name cell (rank, tinted icon, name shortened in the
// middle, hidden and hard-link markers) and shortens locations at their head.
class FileTableDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Where the parts of a name cell go inside `cell`; empty rectangles for parts not shown.
    struct NameLayout {
        QRect rank;
        QRect icon;
        QRect name;
        QRect hiddenMarker;
        QRect hardLinkMarker;
        QString shownName;
    };
    static constexpr int spacing = 6;
    static constexpr int minimumRankWidth = 28;
    static constexpr int iconFrame = 16;
    static NameLayout nameLayout(const QRect& cell, const QFontMetrics& metrics, const QString& rankWidthText,
                                 bool showsRank, const QString& name, bool hidden, bool hardLink,
                                 int markerSize);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    static NameLayout layoutFor(const QStyleOptionViewItem& option, const QModelIndex& index);
};
