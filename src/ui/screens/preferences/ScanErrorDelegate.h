#pragma once

#include <QFont>
#include <QStyledItemDelegate>

// One logged problem in two lines: the path in a small fixed-width font, shortened
// in the middle, then the date and the message in smaller, secondary text.
class ScanErrorDelegate : public QStyledItemDelegate {
public:
    explicit ScanErrorDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    static constexpr int inset = 6;
    static constexpr int padding = 3;
    static constexpr int lineGap = 1;

    QFont pathFont_;
    QFont detailFont_;
};
