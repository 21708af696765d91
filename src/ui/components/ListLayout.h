#pragma once

#include <QLayout>

#include <vector>

// A layout that keeps its items in a list and leaves their placing to the subclass;
// its height follows its width.
class ListLayout : public QLayout {
public:
    using QLayout::QLayout;
    ~ListLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }

protected:
    // The height the item wants at `width`, never below its minimum.
    static int heightAt(QLayoutItem* item, int width);
    const std::vector<QLayoutItem*>& items() const { return items_; }

private:
    std::vector<QLayoutItem*> items_;
};
